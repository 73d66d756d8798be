#include <windows.h>

#include "platform/settings.h"

namespace platform {

const char kSettingsKey[] = "SOFTWARE\\velmora\\telmar-setup";

namespace {

// The REG_SZ value valueName of the settings key, terminated, when it fits in out.
bool ReadRegistryString(const char* valueName, char* out, size_t size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = REG_NONE;
  // One byte is kept for a terminator: the stored data need not end with one.
  DWORD bytes = static_cast<DWORD>(size - 1);
  const LONG status =
      RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ || bytes > size - 1) return false;
  out[bytes] = '\0';
  return true;
}

}  // namespace

SettingSource ReadSetting(const char* variable, const char* valueName, char* out, size_t size) {
  if (size == 0) return kSettingAbsent;
  out[0] = '\0';
  const DWORD length = GetEnvironmentVariableA(variable, out, static_cast<DWORD>(size));
  if (length >= size) {  // set, but too long: nothing, rather than a cut text
    out[0] = '\0';
    return kSettingAbsent;
  }
  if (length > 0) return kSettingEnvironment;
  if (!ReadRegistryString(valueName, out, size) || out[0] == '\0') {
    out[0] = '\0';
    return kSettingAbsent;
  }
  return kSettingRegistry;
}

}  // namespace platform
