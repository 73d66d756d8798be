#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/new_file.h"

namespace platform {

std::FILE* OpenNewFile(const char* path) {
  RemoveName(path);  // when it cannot go, the creation below fails and says why
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

// The number of names of the regular file at `path` (not followed if it is a link); 0 when no
// regular file lies there.
DWORD NameCount(const char* path) {
  FileIdentity identity;
  HANDLE file = OpenRegularFile(path, &identity);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD names = GetFileInformationByHandle(file, &info) ? info.nNumberOfLinks : 0;
  CloseHandle(file);
  return names;
}

}  // namespace

bool RemoveName(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // A link's attributes are its own, and DeleteFileA takes the link, never its target. A
  // file's read-only attribute is shared by all its names: it is cleared only where this name
  // is the file's only one, so that no other file of the system loses it.
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    if (NameCount(path) != 1) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  return DeleteFileA(path) != 0;
}

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

}  // namespace platform
