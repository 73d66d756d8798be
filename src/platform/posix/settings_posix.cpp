#include <cstdlib>
#include <cstring>

#include "platform/settings.h"

namespace platform {

const bool kSettingsInRegistry = false;

// The Linux port has no registry: the environment alone.
Setting ReadSetting(const char* variable, const char*, char* out, size_t size) {
  Setting setting = {kSettingAbsent, kSettingSound, 0};
  if (size == 0) return setting;
  out[0] = '\0';
  const char* text = std::getenv(variable);
  if (text == nullptr || text[0] == '\0') return setting;
  setting.source = kSettingEnvironment;
  const size_t length = std::strlen(text);
  if (length >= size) {
    setting.fault = kSettingTooLong;
    return setting;
  }
  std::memcpy(out, text, length + 1);
  return setting;
}

}  // namespace platform
