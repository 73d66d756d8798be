#include <windows.h>

#include "platform/data_folder.h"
#include "platform/run_lock.h"

namespace platform {

namespace {

// Null until taken: a constant, set before any constructor runs.
HANDLE lockFile = nullptr;

}  // namespace

RunLockState TryRunLock() {
  if (lockFile != nullptr) return kRunLockTaken;
  char path[kMaxPath + 1];
  if (!DataFilePath("telmar-setup.lock", path, sizeof path)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return kRunLockUnavailable;
  }
  // Not shared with anyone, and deleted by the system when the handle closes, which it does
  // when the process ends, whatever ends it.
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    lockFile = file;
    return kRunLockTaken;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION) return kRunLockBusy;
  // The file of a run that has just ended, while the system deletes it, refuses every open.
  if (error == ERROR_ACCESS_DENIED && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
      GetLastError() == ERROR_ACCESS_DENIED) {
    return kRunLockBusy;
  }
  SetLastError(error);
  return kRunLockUnavailable;
}

void ReleaseRunLock() {
  if (lockFile != nullptr) CloseHandle(lockFile);
  lockFile = nullptr;
}

}  // namespace platform
