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
  kSettingAbsent,       // neither place names anything
  kSettingEnvironment,  // the variable is set and not empty
  kSettingRegistry,     // the variable is unset or empty, the value exists and is not empty
};

enum SettingFault {
  kSettingSound,
  kSettingTooLong,      // it does not fit in the caller's buffer
  kSettingNotAString,   // a registry value of another type than REG_SZ
};

struct Setting {
  SettingSource source;
  SettingFault fault;
  unsigned long registryType;  // the type of a value that is not a string
};

// The registry key's path below HKEY_LOCAL_MACHINE, and whether this system has it.
extern const char kSettingsKey[];
extern const bool kSettingsInRegistry;

// Reads a setting into out (size bytes, terminator included): the environment variable
// `variable` when it is set and not empty, else the value `valueName` of the settings key
// (Windows only). The place that gives the setting decides: when what it holds is unusable
// (the fault says why), the other place is not read, and out is empty. A setting is never
// taken in part: out holds either the whole text or nothing.
Setting ReadSetting(const char* variable, const char* valueName, char* out, size_t size);

}  // namespace platform

#endif
