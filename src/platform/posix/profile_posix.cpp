#include "platform/profile.h"

// Placeholder until the POSIX profile-string implementation lands.
namespace platform {

unsigned long ReadProfileString(const char*, const char*, const char* defaultValue,
                                char* out, unsigned long size, const char*) {
  if (size == 0) return 0;
  unsigned long n = 0;
  for (; defaultValue && defaultValue[n] && n + 1 < size; ++n) out[n] = defaultValue[n];
  out[n] = '\0';
  return n;
}

int WriteProfileString(const char*, const char*, const char*, const char*) { return 0; }

}  // namespace platform
