#include <windows.h>

#include "platform/data_folder.h"
#include "platform/run_lock.h"

namespace platform {

namespace {

// Null until taken: a constant, set before any constructor runs.
HANDLE lockFile = nullptr;

// Whether the open file is a regular file that no other name shares, and no link.
bool OneNameOfItsOwn(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

}  // namespace

RunLockState TryRunLock() {
  if (lockFile != nullptr) return kRunLockTaken;
  char path[kMaxPath + 1];
  if (!DataFilePath("telmar-setup.lock", path, sizeof path)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return kRunLockUnavailable;
  }
  // Made anew, and then deleted by the system when its handle closes, which it does when the
  // process ends, whatever ends it. Not shared with anyone: another run cannot open it.
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE |
                                FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr);
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 2; ++attempt) {
    if (GetLastError() != ERROR_FILE_EXISTS) break;
    // Something lies there: the lock of a run that a power cut stopped, which is taken over as
    // it stands and never deleted (the deletion of a name a link holds may take its target),
    // or a link or another file's second name planted there, whose name alone is removed.
    file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE || OneNameOfItsOwn(file)) break;
    CloseHandle(file);
    if (!DeleteFileA(path)) {
      file = INVALID_HANDLE_VALUE;
      break;
    }
    file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE |
                           FILE_FLAG_OPEN_REPARSE_POINT,
                       nullptr);
  }
  if (file != INVALID_HANDLE_VALUE) {
    lockFile = file;
    return kRunLockTaken;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_FILE_EXISTS) return kRunLockBusy;
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
