#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/file_replace.h"
#include "platform/posix/file_update.h"

namespace platform {

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

namespace {

const char kAclName[] = "system.posix_acl_access";

// Opens the regular file at `path`, never through a link; -1 when none lies there.
int OpenRegular(const char* path, int flags, struct stat* info) {
  const int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  int error = 0;
  if (fstat(fd, info) != 0) {
    error = errno;
  } else if (!S_ISREG(info->st_mode)) {
    error = EINVAL;
  }
  if (error != 0) {
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// The names of the extended attributes of `fd`, each ended by a NUL; none where the file
// system keeps none.
bool AttributeNames(int fd, std::string* names) {
  names->clear();
  for (int round = 0; round < 4; ++round) {
    const ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    names->resize(static_cast<size_t>(size));
    const ssize_t got = size == 0 ? 0 : flistxattr(fd, &(*names)[0], names->size());
    if (got >= 0) {
      names->resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // ERANGE: one was added meanwhile
  }
  return false;
}

bool HasName(const std::string& names, const char* name) {
  for (size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
    if (std::strcmp(&names[at], name) == 0) return true;
  }
  return false;
}

// Whether the new file takes the attribute: the ACL, and the users' own attributes (the
// system's and the security modules' are theirs to set).
bool Taken(const char* name) {
  return std::strcmp(name, kAclName) == 0 || std::strncmp(name, "user.", 5) == 0;
}

bool CopyAttribute(int from, int to, const char* name) {
  const ssize_t size = fgetxattr(from, name, nullptr, 0);
  if (size < 0) return false;
  std::string value(static_cast<size_t>(size), '\0');
  const ssize_t got = size == 0 ? 0 : fgetxattr(from, name, &value[0], value.size());
  return got >= 0 && fsetxattr(to, name, value.data(), static_cast<size_t>(got), 0) == 0;
}

// Gives `to` the owner and group of `earlier`: where the owner is refused (only root gives a
// file away), the group alone, where that is refused too, neither. False on any other error.
bool CopyOwner(int to, const struct stat& earlier, const struct stat& now, OwnerKept* kept) {
  if (now.st_uid == earlier.st_uid && now.st_gid == earlier.st_gid) return true;
  if (fchown(to, earlier.st_uid, earlier.st_gid) == 0) return true;
  if (errno != EPERM && errno != EINVAL) return false;
  kept->ownerRefused = static_cast<SystemError>(errno);
  if (now.st_gid == earlier.st_gid || fchown(to, static_cast<uid_t>(-1), earlier.st_gid) == 0) {
    return true;
  }
  kept->groupKept = false;
  return errno == EPERM || errno == EINVAL;
}

}  // namespace

bool CopyFileSecurity(const char* from, const char* to, OwnerKept* kept) {
  kept->ownerRefused = 0;
  kept->groupKept = true;
  struct stat earlier, now;
  const int source = OpenRegular(from, O_RDONLY, &earlier);
  if (source < 0) return false;
  const int target = OpenRegular(to, O_WRONLY, &now);
  if (target < 0) {
    const int error = errno;
    close(source);
    errno = error;
    return false;
  }
  std::string names, newNames;
  bool copied = CopyOwner(target, earlier, now, kept) && AttributeNames(source, &names) &&
                AttributeNames(target, &newNames);
  for (size_t at = 0; copied && at < names.size(); at += std::strlen(&names[at]) + 1) {
    if (Taken(&names[at])) copied = CopyAttribute(source, target, &names[at]);
  }
  // An ACL that the new file took from its folder's default, where the earlier file had none.
  if (copied && HasName(newNames, kAclName) && !HasName(names, kAclName)) {
    copied = fremovexattr(target, kAclName) == 0;
  }
  // The mode last: a change of owner clears the set-ID bits, and where there is an ACL the
  // group bits are its mask. Then all of it to the disk, before the file is put in place.
  copied = copied && fchmod(target, earlier.st_mode & 07777) == 0 && fsync(target) == 0;
  const int error = errno;
  close(target);
  close(source);
  errno = error;
  return copied;
}

bool MoveIntoPlace(const char* from, const char* to, SystemError* unsynced) {
  struct stat earlier;
  // A read-only file is refused, as Windows refuses to replace one.
  if (lstat(to, &earlier) == 0 && S_ISREG(earlier.st_mode) &&
      ((earlier.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(to, W_OK) != 0)) {
    errno = EACCES;
    return false;
  }
  if (rename(from, to) != 0) return false;
  *unsynced = posix::SyncFolderOf(to) ? 0 : static_cast<SystemError>(errno);
  return true;
}

}  // namespace platform
