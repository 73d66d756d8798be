#include <windows.h>

#include <cstdio>

#include "platform/system_error.h"

namespace platform {

namespace {

// The meanings a technician most needs; any other code is given by its number alone.
const char* Meaning(SystemError error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return "file not found";
    case ERROR_PATH_NOT_FOUND: return "path not found";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_WRITE_PROTECT: return "write-protected";
    case ERROR_SHARING_VIOLATION: return "held open by another program";
    case ERROR_LOCK_VIOLATION: return "locked by another program";
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return "disk full";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "already exists";
    case ERROR_INVALID_OWNER: return "this account may not give that owner";
    default: return nullptr;
  }
}

}  // namespace

SystemError LastSystemError() { return GetLastError(); }

std::string SystemErrorText(SystemError error) {
  char text[64];
  const char* meaning = Meaning(error);
  std::snprintf(text, sizeof text, meaning ? "error %lu (%s)" : "error %lu", error, meaning);
  return text;
}

}  // namespace platform
