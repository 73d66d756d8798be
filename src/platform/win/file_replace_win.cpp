#include <windows.h>

#include <string>

#include "platform/file_replace.h"
#include "platform/win/security_descriptor.h"

namespace platform {

bool FlushToDisk(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(file) != 0;
  const DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return flushed;
}

namespace {

// The attributes that say how a file is shown and indexed, which a new file takes over.
const DWORD kShownAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Turns SeRestorePrivilege on for as long as it lives, where the token holds it (LocalSystem
// and administrators do, turned off): with it, a file may be given to any owner. The token's
// earlier state comes back at the end.
class RestorePrivilege {
 public:
  RestorePrivilege() : token_(nullptr), changed_(false) {
    TOKEN_PRIVILEGES wanted;
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_)) {
      token_ = nullptr;
    } else if (LookupPrivilegeValueA(nullptr, "SeRestorePrivilege",
                                     &wanted.Privileges[0].Luid) &&
               AdjustTokenPrivileges(token_, FALSE, &wanted, sizeof earlier_, &earlier_, &size)) {
      changed_ = GetLastError() == ERROR_SUCCESS;  // ERROR_NOT_ALL_ASSIGNED: not held
    }
  }
  ~RestorePrivilege() {
    if (changed_) AdjustTokenPrivileges(token_, FALSE, &earlier_, 0, nullptr, nullptr);
    if (token_ != nullptr) CloseHandle(token_);
  }
  RestorePrivilege(const RestorePrivilege&) = delete;
  RestorePrivilege& operator=(const RestorePrivilege&) = delete;

 private:
  HANDLE token_;
  bool changed_;
  TOKEN_PRIVILEGES earlier_;
};

}  // namespace

bool CopyFileSecurity(const char* from, const char* to, OwnerKept* kept) {
  kept->ownerRefused = 0;
  kept->groupKept = true;
  const DWORD earlier = GetFileAttributesA(from);
  const DWORD now = GetFileAttributesA(to);
  if (earlier == INVALID_FILE_ATTRIBUTES || now == INVALID_FILE_ATTRIBUTES) return false;
  // The attributes first: the security set next may take away the right to set them.
  if ((earlier & kShownAttributes) != (now & kShownAttributes) &&
      !SetFileAttributesA(to, (now & ~kShownAttributes) | (earlier & kShownAttributes))) {
    return false;
  }
  const SECURITY_INFORMATION all =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  std::string descriptor;
  if (!ReadSecurityDescriptor([from, all](void* out, DWORD room, DWORD* needed) {
        return GetFileSecurityA(from, all, out, room, needed) != 0;
      }, &descriptor)) {
    return false;
  }
  // An exact copy, in one call: the entries inherited from the folder stay as they were,
  // rather than being worked out again for the new file.
  PSECURITY_DESCRIPTOR security = &descriptor[0];
  if (SetFileSecurityA(to, all, security)) return true;
  DWORD refused = GetLastError();
  if (refused == ERROR_INVALID_OWNER) {
    RestorePrivilege privilege;
    if (SetFileSecurityA(to, all, security)) return true;
    refused = GetLastError();
  }
  // The owner cannot be given: the file keeps this run's account as its owner.
  if (!SetFileSecurityA(to, GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, security)) {
    return false;
  }
  kept->ownerRefused = refused;
  return true;
}

bool MoveIntoPlace(const char* from, const char* to, SystemError* unsynced) {
  const DWORD attributes = GetFileAttributesA(to);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // Write-through: the call returns once the move has reached the disk.
  if (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return false;
  *unsynced = 0;
  return true;
}

}  // namespace platform
