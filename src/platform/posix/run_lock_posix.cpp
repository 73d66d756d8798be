#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/data_folder.h"
#include "platform/run_lock.h"

namespace platform {

namespace {

int lockedFolder = -1;
bool taken = false;

}  // namespace

RunLockState TryRunLock() {
  if (taken) return kRunLockTaken;
  if (lockedFolder < 0) {
    char folder[kMaxPath + 1];
    if (!DataFilePath("", folder, sizeof folder)) {
      errno = ENOENT;
      return kRunLockUnavailable;
    }
    lockedFolder = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lockedFolder < 0) return kRunLockUnavailable;
  }
  if (flock(lockedFolder, LOCK_EX | LOCK_NB) == 0) {
    taken = true;
    return kRunLockTaken;
  }
  if (errno == EWOULDBLOCK || errno == EINTR) return kRunLockBusy;
  const int error = errno;
  close(lockedFolder);
  lockedFolder = -1;
  errno = error;
  return kRunLockUnavailable;
}

void ReleaseRunLock() {
  if (lockedFolder >= 0) close(lockedFolder);
  lockedFolder = -1;
  taken = false;
}

}  // namespace platform
