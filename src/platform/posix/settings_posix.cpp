#include <cstdlib>
#include <cstring>

#include "platform/settings.h"

namespace platform {

const char kSettingsKey[] = "SOFTWARE\\velmora\\telmar-setup";

// The Linux port has no registry: the environment alone.
SettingSource ReadSetting(const char* variable, const char*, char* out, size_t size) {
  if (size == 0) return kSettingAbsent;
  out[0] = '\0';
  const char* text = std::getenv(variable);
  if (text == nullptr || text[0] == '\0' || std::strlen(text) >= size) return kSettingAbsent;
  std::memcpy(out, text, std::strlen(text) + 1);
  return kSettingEnvironment;
}

}  // namespace platform
