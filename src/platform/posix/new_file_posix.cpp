#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/new_file.h"

namespace platform {

// unlink takes the name alone, whatever it names; a file's mode is never changed for it.
bool RemoveName(const char* path) {
  struct stat info;
  if (path == nullptr || path[0] == '\0' || lstat(path, &info) != 0) return false;
  if (S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return false;
  }
  return unlink(path) == 0;
}

std::FILE* OpenNewFile(const char* path) {
  RemoveName(path);  // when it cannot go, the exclusive creation below fails and says why
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "ab");
  if (file == nullptr) {
    const int error = errno;
    close(fd);
    unlink(path);
    errno = error;
  }
  return file;
}

namespace {

// The identity of a regular file from its status; false, with EINVAL, for anything else.
bool RegularFileIdentity(const struct stat& info, FileIdentity* identity) {
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return false;
  }
  identity->volume = static_cast<unsigned long long>(info.st_dev);
  identity->index = static_cast<unsigned long long>(info.st_ino);
  return true;
}

}  // namespace

bool IdentifyFile(const char* path, FileIdentity* identity) {
  struct stat info;
  return path != nullptr && path[0] != '\0' && lstat(path, &info) == 0 &&
         RegularFileIdentity(info, identity);
}

bool HoldFile(const char* path, HeldFile* held) {
  held->handle = -1;
  if (path == nullptr || path[0] == '\0') return false;
#ifdef O_PATH
  // Linux: a handle that needs no right to read the file and opens nothing but its name.
  const int fd = open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
#else
  const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
#endif
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !RegularFileIdentity(info, &held->identity)) {
    const int error = errno;
    close(fd);
    errno = error;
    return false;
  }
  held->handle = fd;
  return true;
}

void ReleaseFile(HeldFile* held) {
  if (held->handle >= 0) close(static_cast<int>(held->handle));
  held->handle = -1;
}

bool SomethingAt(const char* path) {
  struct stat info;
  return path != nullptr && path[0] != '\0' && lstat(path, &info) == 0;
}

}  // namespace platform
