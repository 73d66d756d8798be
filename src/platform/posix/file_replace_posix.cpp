#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/file_replace.h"
#include "platform/posix/file_update.h"

namespace platform {

bool IsRefusal(SystemError error) { return error == EACCES || error == EPERM; }

std::FILE* OpenNewFile(const char* path) {
  if (unlink(path) != 0 && errno != ENOENT) {
    // Not removable: the exclusive creation below fails and says why.
  }
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

bool FlushToDisk(const char* path) {
  int fd = open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool flushed = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && fsync(fd) == 0;
  const int error = errno;
  close(fd);
  errno = error;
  return flushed;
}

bool MoveIntoPlace(const char* from, const char* to) {
  struct stat earlier;
  if (lstat(to, &earlier) == 0 && S_ISREG(earlier.st_mode)) {
    // A read-only file is refused, as Windows refuses to replace one; a writable one
    // leaves its permissions to the file that takes its place.
    if ((earlier.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(to, W_OK) != 0) {
      errno = EACCES;
      return false;
    }
    if (chmod(from, earlier.st_mode & 07777) != 0) return false;
  }
  if (rename(from, to) != 0) return false;
  posix::SyncFolderOf(to);
  return true;
}

bool RewriteInPlace(const char* path, const std::string& content) {
  posix::FileSnapshot file;
  const posix::FileState state = posix::LoadFile(path, &file);
  if (state != posix::kFilePresent) {
    if (state == posix::kFileAbsent) errno = ENOENT;
    return false;
  }
  return posix::MayWrite(file) && posix::EditInPlace(file, content);
}

bool ReadWholeFile(const char* path, std::string* content) {
  posix::FileSnapshot file;
  if (posix::LoadFile(path, &file) != posix::kFilePresent) return false;
  content->swap(file.content);
  return true;
}

bool TemporaryFolder(char* out, size_t size) {
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || folder[0] != '/') folder = "/tmp";
  const size_t length = std::strlen(folder);
  const bool slash = folder[length - 1] == '/';
  if (length + (slash ? 0 : 1) + 1 > size) return false;
  std::memcpy(out, folder, length);
  if (!slash) out[length] = '/';
  out[length + (slash ? 0 : 1)] = '\0';
  return true;
}

}  // namespace platform
