#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/settings.h"
#include "platform/trace.h"

namespace platform {

namespace {

int traceFile = -1;

}  // namespace

namespace trace_system {

bool Open() {
  char path[4096];
  ReadSetting("TELMAR_SETUP_LOG", "TraceFile", path, sizeof path);
  if (path[0] == '\0') return false;
  traceFile = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  return traceFile >= 0;
}

bool AppendLine(const char* text, size_t length) {
  char line[kTraceLineSize + 1];
  if (traceFile < 0 || length >= kTraceLineSize) return false;
  std::memcpy(line, text, length);
  line[length] = '\n';
  return write(traceFile, line, length + 1) == static_cast<ssize_t>(length + 1);
}

void LocalTime(char* out, size_t size) {
  const time_t now = time(nullptr);
  struct tm local;
  if (size == 0) return;
  out[0] = '\0';
  if (localtime_r(&now, &local) != nullptr) strftime(out, size, "%Y-%m-%d %H:%M:%S", &local);
}

}  // namespace trace_system

}  // namespace platform
