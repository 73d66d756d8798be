// Single values of an initialisation file, with the semantics of the Windows
// profile-string calls: on Windows the real GetPrivateProfileStringA and
// WritePrivateProfileStringA, elsewhere a faithful implementation of what the program
// relies on (case-insensitive names, blanks trimmed, quotes stripped, values cut to the
// buffer, keys replaced in place, CR LF lines, the rest of the file left byte for byte).
#ifndef TELMAR_PLATFORM_PROFILE_H
#define TELMAR_PLATFORM_PROFILE_H

namespace platform {

// Copies the value of `key` in `section` of the file at `path` into `out` (at most
// size - 1 characters and a NUL), or `defaultValue` when the key or file is absent.
// Returns the number of characters copied, terminator excluded.
unsigned long ReadProfileString(const char* section, const char* key,
                                const char* defaultValue, char* out,
                                unsigned long size, const char* path);

// Sets `key` of `section` to `value`, adding the key, its section or the file when
// absent. Non-zero on success, 0 when the file cannot be written.
int WriteProfileString(const char* section, const char* key, const char* value,
                       const char* path);

}  // namespace platform

#endif
