#include <windows.h>

#include <cstdio>

#include "platform/open_to_others.h"
#include "platform/settings.h"
#include "platform/trace.h"

namespace platform {

namespace {

// Null until opened: a constant, set before any constructor runs (INVALID_HANDLE_VALUE, a
// cast, might only be set during dynamic initialisation, after a first event).
HANDLE traceFile = nullptr;

// Whether the run may append its report to the file it opened: a file of one name, not a
// link, that in a run with an administrator's rights no other account may change (a file
// that a user created in advance is that user's, and the report would be theirs to shape).
bool MayAppendTo(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) || info.nNumberOfLinks != 1 ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  if (!RunsAsAdministrator()) return true;
  char who[256];
  WhoElseMayChangeOpenFile(reinterpret_cast<intptr_t>(file), who, sizeof who);
  return who[0] == '\0';
}

}  // namespace

namespace trace_system {

bool Open() {
  char path[MAX_PATH + 1];
  ReadSetting("TELMAR_SETUP_LOG", "TraceFile", path, sizeof path);
  if (path[0] == '\0') return false;
  // Append-only access: every write lands at the end of the file, whoever else writes. Never
  // through a link at its name: created anew where nothing lies there (which no link, not even
  // one that leads nowhere, lets through), else opened as a name, not followed.
  const DWORD access = FILE_APPEND_DATA | READ_CONTROL;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE file = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                            flags, nullptr);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
    file = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       flags, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!MayAppendTo(file)) {
    CloseHandle(file);
    return false;
  }
  traceFile = file;
  return true;
}

bool AppendLine(const char* text, size_t length) {
  char line[kTraceLineSize + 2];
  if (traceFile == nullptr || length >= kTraceLineSize) return false;
  CopyMemory(line, text, length);
  line[length] = '\r';
  line[length + 1] = '\n';
  DWORD written = 0;
  const DWORD size = static_cast<DWORD>(length + 2);
  return WriteFile(traceFile, line, size, &written, nullptr) && written == size;
}

void LocalTime(char* out, size_t size) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  if (size == 0) return;
  std::snprintf(out, size, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
}

}  // namespace trace_system

}  // namespace platform
