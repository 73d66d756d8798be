#include "platform/posix/file_update.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {
namespace posix {

namespace {

bool WriteAll(int fd, const std::string& content, size_t done) {
  while (done < content.size()) {
    ssize_t count = pwrite(fd, content.data() + done, content.size() - done,
                           static_cast<off_t>(done));
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(count);
  }
  return true;
}

// Opens the file that was read; fails when something else lies there now.
int OpenSameFile(const FileSnapshot& file, int flags) {
  int fd = open(file.target.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat now;
  if (fstat(fd, &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != file.info.st_dev ||
      now.st_ino != file.info.st_ino) {
    close(fd);
    errno = ESTALE;
    return -1;
  }
  return fd;
}

bool StillTheFileRead(const FileSnapshot& file) {
  struct stat now;
  if (lstat(file.target.c_str(), &now) == 0 && S_ISREG(now.st_mode) &&
      now.st_dev == file.info.st_dev && now.st_ino == file.info.st_ino) {
    return true;
  }
  errno = ESTALE;
  return false;
}

// Errors that say the folder takes no new file or no rename over the file, where an edit
// in place may still work: no rights, or the file is a mount point of its own.
bool NeedsEdit(int error) {
  return error == EACCES || error == EPERM || error == ENAMETOOLONG || error == EBUSY;
}

enum Replacement { kReplaced, kFailed, kNeedsEdit };

Replacement ReplaceThroughTemporary(const FileSnapshot& file, const std::string& after) {
  const std::string temporary = file.target + ".tmp";
  unlink(temporary.c_str());  // left by an update that was interrupted
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return NeedsEdit(errno) ? kNeedsEdit : kFailed;
  const bool sameOwner = fchown(fd, file.info.st_uid, file.info.st_gid) == 0;
  bool written = sameOwner && WriteAll(fd, after, 0) &&
                 fchmod(fd, file.info.st_mode & 07777) == 0 && fsync(fd) == 0;
  if (close(fd) != 0) written = false;
  int error = errno;
  bool renamed = false;
  if (written && StillTheFileRead(file)) {
    renamed = rename(temporary.c_str(), file.target.c_str()) == 0;
    error = renamed ? 0 : errno;
  } else if (written) {
    error = ESTALE;
  }
  if (!renamed) unlink(temporary.c_str());
  errno = error;
  if (renamed) {
    SyncFolderOf(file.target);
    return kReplaced;
  }
  return !sameOwner || (written && NeedsEdit(error)) ? kNeedsEdit : kFailed;
}

}  // namespace

FileState LoadFile(const char* path, FileSnapshot* file) {
  file->content.clear();
  char* resolved = realpath(path, nullptr);
  if (resolved == nullptr) {
    struct stat link;
    // Nothing there, or a link that leads nowhere (which is not a file to create).
    if ((errno == ENOENT || errno == ENOTDIR) && lstat(path, &link) != 0) return kFileAbsent;
    return kFileUnusable;
  }
  file->target = resolved;
  std::free(resolved);
  int fd = open(file->target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kFileUnusable;
  if (fstat(fd, &file->info) != 0 || !S_ISREG(file->info.st_mode)) {
    close(fd);
    errno = EINVAL;
    return kFileUnusable;
  }
  char buffer[8192];
  for (;;) {
    ssize_t count = read(fd, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return kFileUnusable;
    }
    file->content.append(buffer, static_cast<size_t>(count));
  }
  close(fd);
  return kFilePresent;
}

bool MayWrite(const FileSnapshot& file) {
  if ((file.info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
      access(file.target.c_str(), W_OK) == 0) {
    return true;
  }
  errno = EACCES;
  return false;
}

bool UpdateFile(const FileSnapshot& file, const std::string& after) {
  if (file.info.st_nlink == 1) {
    Replacement replacement = ReplaceThroughTemporary(file, after);
    if (replacement != kNeedsEdit) return replacement == kReplaced;
  }
  return EditInPlace(file, after);
}

bool EditInPlace(const FileSnapshot& file, const std::string& after) {
  const std::string& before = file.content;
  // Read and write: the emulation of the space reservation, where the file system has
  // none, reads each block before it writes it.
  int fd = OpenSameFile(file, O_RDWR);
  if (fd < 0) return false;
  struct stat now;
  if (fstat(fd, &now) != 0 || static_cast<size_t>(now.st_size) != before.size()) {
    close(fd);
    errno = ESTALE;
    return false;
  }
  if (after.size() > before.size()) {
    const int reserved = posix_fallocate(fd, 0, static_cast<off_t>(after.size()));
    if (reserved != 0 && reserved != EOPNOTSUPP) {
      // No room for the longer content: back to the length that was read.
      if (ftruncate(fd, static_cast<off_t>(before.size())) != 0) {
        // Nothing more to try; the bytes that were read are all still in place.
      }
      close(fd);
      errno = reserved;
      return false;
    }
  }
  size_t first = 0;
  while (first < before.size() && first < after.size() && before[first] == after[first]) ++first;
  bool done = WriteAll(fd, after, first) && ftruncate(fd, static_cast<off_t>(after.size())) == 0 &&
              fsync(fd) == 0;
  if (!done) {
    const int error = errno;
    // Put back what was read, from the first byte that was to change.
    if (WriteAll(fd, before, first) && ftruncate(fd, static_cast<off_t>(before.size())) == 0) {
      fsync(fd);
    }
    errno = error;
  }
  close(fd);
  return done;
}

bool CreateNewFile(const char* path, const std::string& content) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = WriteAll(fd, content, 0);
  if (close(fd) != 0) written = false;
  if (!written) {
    const int error = errno;
    unlink(path);
    errno = error;
  }
  return written;
}

bool SyncFolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

}  // namespace posix
}  // namespace platform
