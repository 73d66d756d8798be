#include <windows.h>

#include <cstdio>

#include "platform/settings.h"
#include "platform/trace.h"

namespace platform {

namespace {

// Null until opened: a constant, set before any constructor runs (INVALID_HANDLE_VALUE, a
// cast, might only be set during dynamic initialisation, after a first event).
HANDLE traceFile = nullptr;

}  // namespace

namespace trace_system {

bool Open() {
  char path[MAX_PATH + 1];
  ReadSetting("TELMAR_SETUP_LOG", "TraceFile", path, sizeof path);
  if (path[0] == '\0') return false;
  // Append-only access: every write lands at the end of the file, whoever else writes.
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  traceFile = file != INVALID_HANDLE_VALUE ? file : nullptr;
  return traceFile != nullptr;
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
