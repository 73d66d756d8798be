#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/file_replace.h"

namespace platform {

bool RemoveLeftover(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  // The attributes of a link are its own: clearing them leaves its target as it is.
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  return DeleteFileA(path) != 0;
}

std::FILE* OpenNewFile(const char* path) {
  RemoveLeftover(path);  // when it cannot go, the creation below fails and says why
  // A reparse point that could not be removed is not followed: the creation fails on it.
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_BINARY);
  std::FILE* stream = descriptor >= 0 ? _fdopen(descriptor, "ab") : nullptr;
  if (stream == nullptr) {
    const DWORD error = GetLastError();
    if (descriptor >= 0) {
      _close(descriptor);
    } else {
      CloseHandle(file);
    }
    DeleteFileA(path);
    SetLastError(error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY);
  }
  return stream;
}

namespace {

// Opens the regular file at `path` without access to its data (such a handle takes part in
// no sharing check), not through a link; invalid when none lies there.
HANDLE OpenRegularFile(const char* path, FileIdentity* identity) {
  if (path == nullptr || path[0] == '\0') return INVALID_HANDLE_VALUE;
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    CloseHandle(file);
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_HANDLE_VALUE;
  }
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return file;
}

}  // namespace

bool IdentifyFile(const char* path, FileIdentity* identity) {
  HANDLE file = OpenRegularFile(path, identity);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool HoldFile(const char* path, HeldFile* held) {
  HANDLE file = OpenRegularFile(path, &held->identity);
  held->handle = file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(file);
  return held->handle >= 0;
}

void ReleaseFile(HeldFile* held) {
  if (held->handle >= 0) CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(held->handle)));
  held->handle = -1;
}

bool SomethingAt(const char* path) {
  return path != nullptr && path[0] != '\0' && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

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
