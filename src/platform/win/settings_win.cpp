#include <windows.h>

#include "platform/settings.h"

namespace platform {

const bool kSettingsInRegistry = true;

namespace {

// The value valueName of the settings key, terminated, when it is a string that fits in out.
Setting ReadRegistryString(const char* valueName, char* out, size_t size) {
  Setting setting = {kSettingAbsent, kSettingSound, 0};
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return setting;
  }
  DWORD type = REG_NONE;
  // One byte is kept for a terminator: the stored data need not end with one.
  DWORD bytes = static_cast<DWORD>(size - 1);
  const LONG status =
      RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return setting;
  setting.source = kSettingRegistry;
  if (type != REG_SZ) {
    setting.fault = kSettingNotAString;
    setting.registryType = type;
  } else if (status == ERROR_MORE_DATA || bytes > size - 1) {
    setting.fault = kSettingTooLong;
  } else {
    out[bytes] = '\0';
    if (out[0] == '\0') setting.source = kSettingAbsent;  // an empty value names nothing
    return setting;
  }
  out[0] = '\0';
  return setting;
}

}  // namespace

Setting ReadSetting(const char* variable, const char* valueName, char* out, size_t size) {
  Setting setting = {kSettingAbsent, kSettingSound, 0};
  if (size == 0) return setting;
  out[0] = '\0';
  const DWORD length = GetEnvironmentVariableA(variable, out, static_cast<DWORD>(size));
  if (length >= size) {  // set, but too long: nothing, rather than a cut text
    out[0] = '\0';
    setting.source = kSettingEnvironment;
    setting.fault = kSettingTooLong;
    return setting;
  }
  if (length > 0) {
    setting.source = kSettingEnvironment;
    return setting;
  }
  out[0] = '\0';
  return ReadRegistryString(valueName, out, size);
}

}  // namespace platform
