#include "platform/version.h"

namespace platform {

namespace {

// The POSIX port lays its files out as a current Windows does.
unsigned PosixMajorVersion() { return 6; }

}  // namespace

const char kPathSeparator = '/';
VersionApi versionApi = {PosixMajorVersion};

}  // namespace platform
