// Settings that an administrator gives the program. The environment comes first, for a
// technician at a prompt; on Windows a setting may also be a string value of the key
// HKEY_LOCAL_MACHINE\SOFTWARE\velmora\telmar-setup, which Group Policy and the program's
// Windows Installer package can write, and which reaches a run that an installer service
// starts with an environment of its own. A 32-bit program on 64-bit Windows reads the
// 32-bit view of that key (SOFTWARE\WOW6432Node\velmora\telmar-setup).
#ifndef TELMAR_PLATFORM_SETTINGS_H
#define TELMAR_PLATFORM_SETTINGS_H

#include <cstddef>

namespace platform {

enum SettingSource {
  kSettingAbsent,      // neither gives one: out is empty
  kSettingEnvironment,
  kSettingRegistry,
};

// The registry key's path below HKEY_LOCAL_MACHINE.
extern const char kSettingsKey[];

// Reads a setting into out (size bytes, terminator included): the environment variable
// `variable` when it is set and not empty, else the REG_SZ value `valueName` of the settings
// key (Windows only). A variable or value that does not fit in out, or a value of another
// type, gives nothing: a setting is never taken in part.
SettingSource ReadSetting(const char* variable, const char* valueName, char* out, size_t size);

}  // namespace platform

#endif
