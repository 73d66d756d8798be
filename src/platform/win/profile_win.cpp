#include <windows.h>

// <windows.h> names WriteProfileString as a macro for the system call of that name.
#undef WriteProfileString

#include "platform/profile.h"

namespace platform {

unsigned long ReadProfileString(const char* section, const char* key,
                                const char* defaultValue, char* out,
                                unsigned long size, const char* path) {
  return GetPrivateProfileStringA(section, key, defaultValue, out, size, path);
}

int WriteProfileString(const char* section, const char* key, const char* value,
                       const char* path) {
  return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}

}  // namespace platform
