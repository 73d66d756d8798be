#include "config/earlier_config.h"

#include <cstdio>

#include "platform/decimal.h"
#include "platform/new_file.h"
#include "platform/profile.h"

namespace {

// More channels than any workstation has: the search ends here whatever the file says.
const int32_t kMostChannels = 1024;

int32_t Number(const char* section, const char* key, const char* path, bool* present) {
  char text[32];
  const unsigned long length = platform::ReadProfileString(section, key, "", text, sizeof text, path);
  *present = length > 0;
  return platform::DecimalNumber(text);
}

}  // namespace

bool ListsSerialChannel(const char* path, int32_t port) {
  platform::FileIdentity identity;
  // A pipe or a device at the path is never opened.
  if (!platform::IdentifyFile(path, &identity)) return false;
  bool present = false;
  const int32_t count = Number("CONFIG", "NbCanaux", path, &present);
  for (int32_t n = 1; n <= kMostChannels; ++n) {
    char section[24];
    std::snprintf(section, sizeof section, "CANAL%ld", static_cast<long>(n));
    const int32_t type = Number(section, "TCanal", path, &present);
    if (!present && n > count) break;
    if (present && type == 1 && Number(section, "Index", path, &present) == port && present) {
      return true;
    }
  }
  return false;
}
