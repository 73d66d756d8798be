#include <windows.h>

#include "platform/version.h"

namespace platform {

namespace {

unsigned WindowsMajorVersion() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);  // a failed query leaves the major version at 0
  return info.dwMajorVersion;
}

}  // namespace

const char kPathSeparator = '\\';
VersionApi versionApi = {WindowsMajorVersion};

}  // namespace platform
