// What the program knows of the system it runs on: its major version, which chooses the
// data folder's layout, and the path separator.
#ifndef TELMAR_PLATFORM_VERSION_H
#define TELMAR_PLATFORM_VERSION_H

namespace platform {

// Where the operating system's version comes from. The real entry asks Windows
// (GetVersionExA); the POSIX port reports 6. Tests may put another function here.
struct VersionApi {
  unsigned (*majorVersion)();
};
extern VersionApi versionApi;

// '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

}  // namespace platform

#endif
