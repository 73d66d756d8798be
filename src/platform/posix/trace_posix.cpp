#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/open_to_others.h"
#include "platform/settings.h"
#include "platform/trace.h"

namespace platform {

namespace {

int traceFile = -1;

// Whether the run may append its report to the file it opened: a regular file of one name
// that, in a run as root, no other account may change (a file that a user created in advance
// is that user's, and the report would be theirs to shape).
bool MayAppendTo(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) return false;
  if (!RunsAsAdministrator()) return true;
  char who[256];
  WhoElseMayChangeOpenFile(fd, who, sizeof who);
  return who[0] == '\0';
}

}  // namespace

namespace trace_system {

bool Open() {
  char path[4096];
  ReadSetting("TELMAR_SETUP_LOG", "TraceFile", path, sizeof path);
  if (path[0] == '\0') return false;
  // Never through a link at its name, and never a pipe or a device that would hold the run.
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (!MayAppendTo(fd)) {
    close(fd);
    return false;
  }
  traceFile = fd;
  return true;
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
