#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/file_replace.h"

namespace platform {

namespace {

// Opens an existing regular file; invalid when it cannot be.
HANDLE OpenExisting(const char* path, DWORD access, DWORD share) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool ReadAll(HANDLE file, std::string* content) {
  content->clear();
  char buffer[8192];
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &count, nullptr)) return false;
    if (count == 0) return true;
    content->append(buffer, count);
  }
}

bool WriteAllAtStart(HANDLE file, const std::string& content) {
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  size_t done = 0;
  while (done < content.size()) {
    DWORD count = 0;
    if (!WriteFile(file, content.data() + done, static_cast<DWORD>(content.size() - done), &count,
                   nullptr)) {
      return false;
    }
    done += count;
  }
  return SetEndOfFile(file) != 0;
}

}  // namespace

bool IsRefusal(SystemError error) { return error == ERROR_ACCESS_DENIED; }

std::FILE* OpenNewFile(const char* path) {
  DeleteFileA(path);  // a leftover; when it cannot go, the creation below fails
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool FlushToDisk(const char* path) {
  HANDLE file = OpenExisting(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(file) != 0;
  const DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return flushed;
}

bool MoveIntoPlace(const char* from, const char* to) {
  const DWORD attributes = GetFileAttributesA(to);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RewriteInPlace(const char* path, const std::string& content) {
  // No sharing while it changes: nobody reads it half written.
  HANDLE file = OpenExisting(path, GENERIC_READ | GENERIC_WRITE, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string before;
  const bool read = ReadAll(file, &before);
  const bool done = read && WriteAllAtStart(file, content) && FlushFileBuffers(file);
  const DWORD error = GetLastError();
  if (!done && read && WriteAllAtStart(file, before)) FlushFileBuffers(file);
  CloseHandle(file);
  SetLastError(error);
  return done;
}

bool ReadWholeFile(const char* path, std::string* content) {
  HANDLE file = OpenExisting(path, GENERIC_READ, FILE_SHARE_READ);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool read = ReadAll(file, content);
  CloseHandle(file);
  return read;
}

bool TemporaryFolder(char* out, size_t size) {
  const DWORD length = GetTempPathA(static_cast<DWORD>(size), out);
  return length > 0 && length < size;
}

}  // namespace platform
