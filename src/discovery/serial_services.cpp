#include "discovery/serial_services.h"

#include <cstdio>
#include <cstring>

#include "platform/settings.h"
#include "platform/trace.h"

namespace {

const char kVariable[] = "TELMAR_SETUP_SERIAL_SERVICES";
const char kValueName[] = "SerialServices";

// FTDI's, Prolific's, Silicon Labs' and WCH's drivers: Windows' service names, then Linux's
// driver names.
const char* const kAdapterDrivers[] = {
    "FTSER2K", "Ser2pl", "Ser2pl64", "silabser", "CH341SER", "CH341SER_A64",
    "ftdi_sio", "pl2303", "cp210x", "ch341",
};

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  }
  return *a == *b;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSeparator(char c) { return c == ',' || c == ';'; }

bool Printable(const char* first, const char* last) {
  for (const char* c = first; c < last; ++c) {
    if (static_cast<unsigned char>(*c) < 0x20 || static_cast<unsigned char>(*c) > 0x7E) return false;
  }
  return true;
}

// "SerialServices of HKLM\SOFTWARE\velmora\telmar-setup"
const char* RegistryValueName() {
  static char name[128];
  if (name[0] == '\0') {
    std::snprintf(name, sizeof name, "%s of HKLM\\%s", kValueName, platform::kSettingsKey);
  }
  return name;
}

// Appends `item` to the list in out (size bytes), after ", " when the list holds something;
// an item that does not fit whole is left out.
void AppendItem(char* out, size_t size, const char* item) {
  const size_t used = std::strlen(out);
  const size_t separator = used > 0 ? 2 : 0;
  if (used + separator + std::strlen(item) >= size) return;
  std::snprintf(out + used, size - used, "%s%s", separator > 0 ? ", " : "", item);
}

// Appends "N <one or many><what>" to the list in out when N is not 0.
void AddCount(char* out, size_t size, int count, const char* one, const char* many,
              const char* what) {
  if (count == 0) return;
  char item[128];
  std::snprintf(item, sizeof item, "%d %s%s", count, count == 1 ? one : many, what);
  AppendItem(out, size, item);
}

}  // namespace

NamedServices::NamedServices() : count_(0), origin_("") {
  std::memset(names_, 0, sizeof names_);
}

void NamedServices::Read() {
  char text[kServicesSettingSize];
  const platform::Setting setting = platform::ReadSetting(kVariable, kValueName, text, sizeof text);
  if (setting.source == platform::kSettingAbsent) return;
  origin_ = setting.source == platform::kSettingEnvironment ? kVariable : RegistryValueName();
  if (setting.fault == platform::kSettingTooLong) {
    platform::Trace("serial services setting %s: ignored: longer than %u bytes", origin_,
                    static_cast<unsigned>(kServicesSettingSize - 1));
  } else if (setting.fault == platform::kSettingNotAString) {
    platform::Trace("serial services setting %s: ignored: a value of type %lu, not a string "
                    "(REG_SZ)", origin_, setting.registryType);
  } else {
    platform::Trace("serial services setting %s: \"%s\"", origin_, text);
    Parse(text);
    if (platform::TraceOn()) {
      char list[kTraceListSize] = "";
      for (int i = 0; i < count_; ++i) AppendItem(list, sizeof list, names_[i]);
      platform::Trace("serial services named: %d%s%s", count_, count_ > 0 ? ": " : "", list);
    }
  }
  if (count_ == 0) origin_ = "";
}

void NamedServices::Parse(const char* text) {
  int empty = 0;
  int tooLong = 0;
  int notAscii = 0;
  int beyond = 0;
  if (*text == '\0') return;
  const char* cursor = text;
  for (;;) {
    const char* end = cursor;
    while (*end != '\0' && !IsSeparator(*end)) ++end;
    const char* first = cursor;
    const char* last = end;
    while (first < last && IsBlank(*first)) ++first;
    while (last > first && IsBlank(last[-1])) --last;
    const size_t length = static_cast<size_t>(last - first);
    if (length == 0) {
      ++empty;
    } else if (length >= kServiceNameSize) {
      ++tooLong;
    } else if (!Printable(first, last)) {
      ++notAscii;
    } else {
      char name[kServiceNameSize];
      std::memcpy(name, first, length);
      name[length] = '\0';
      if (!Names(name)) {  // a name given twice is kept once
        if (count_ < kMostNamedServices) {
          std::memcpy(names_[count_++], name, length + 1);
        } else {
          ++beyond;
        }
      }
    }
    if (*end == '\0') break;
    cursor = end + 1;
  }
  if (empty + tooLong + notAscii + beyond > 0 && platform::TraceOn()) {
    char ignored[kTraceListSize] = "";
    char longer[48];
    char beyondLast[32];
    std::snprintf(longer, sizeof longer, " longer than %u characters",
                  static_cast<unsigned>(kServiceNameSize - 1));
    std::snprintf(beyondLast, sizeof beyondLast, " beyond the first %d", kMostNamedServices);
    AddCount(ignored, sizeof ignored, empty, "empty entry", "empty entries", "");
    AddCount(ignored, sizeof ignored, tooLong, "name", "names", longer);
    AddCount(ignored, sizeof ignored, notAscii, "name", "names",
             " with a byte outside printable ASCII");
    AddCount(ignored, sizeof ignored, beyond, "name", "names", beyondLast);
    platform::Trace("serial services setting: ignored: %s", ignored);
  }
}

bool NamedServices::Names(const char* service) const {
  for (int i = 0; i < count_; ++i) {
    if (SameName(names_[i], service)) return true;
  }
  return false;
}

bool IsAdapterDriver(const char* service) {
  for (const char* driver : kAdapterDrivers) {
    if (SameName(driver, service)) return true;
  }
  return false;
}

const char* NamedServicesPlaces() {
  static char places[160];
  if (!platform::kSettingsInRegistry) return kVariable;
  if (places[0] == '\0') std::snprintf(places, sizeof places, "%s or %s", kVariable, RegistryValueName());
  return places;
}
