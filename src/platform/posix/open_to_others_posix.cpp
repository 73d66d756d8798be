#include <errno.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/open_to_others.h"

namespace platform {

namespace {

// The POSIX ACL as Linux keeps it in system.posix_acl_access: a 4-byte version, then entries
// of a 16-bit tag, 16-bit permissions and 32-bit id, in the file's byte order.
const uint16_t kAclUser = 0x02, kAclGroupObj = 0x04, kAclGroup = 0x08, kAclMask = 0x10,
               kAclOther = 0x20, kAclWrite = 0x02;
struct AclEntry {
  uint16_t tag;
  uint16_t permissions;
  uint32_t id;
};

std::string UserName(uid_t uid) {
  const passwd* user = getpwuid(uid);
  char text[64];
  std::snprintf(text, sizeof text, " (uid %lu)", static_cast<unsigned long>(uid));
  return std::string("user ") + (user != nullptr ? user->pw_name : "") + text;
}

std::string GroupName(gid_t gid) {
  const group* found = getgrgid(gid);
  char text[64];
  std::snprintf(text, sizeof text, " (gid %lu)", static_cast<unsigned long>(gid));
  return std::string("group ") + (found != nullptr ? found->gr_name : "") + text;
}

void Add(std::string* text, const std::string& who) {
  if (text->find(who) == std::string::npos) *text += (text->empty() ? "" : "; ") + who;
}

// Who else may change the file or folder of `info`, whose ACL (empty: none) is `acl`.
void Describe(const struct stat& info, const std::string& acl, char* who, size_t size) {
  std::string text;
  const bool folder = S_ISDIR(info.st_mode);
  // In a folder with the sticky bit, group and others may add files but touch only their own.
  const bool sticky = folder && (info.st_mode & S_ISVTX) != 0;
  if (info.st_uid != 0 && info.st_uid != geteuid()) Add(&text, "its owner " + UserName(info.st_uid));
  const size_t count = acl.size() > 4 ? (acl.size() - 4) / sizeof(AclEntry) : 0;
  if (count == 0) {
    if ((info.st_mode & S_IWGRP) != 0 && !sticky) Add(&text, GroupName(info.st_gid));
    if ((info.st_mode & S_IWOTH) != 0 && !sticky) Add(&text, "others");
  } else {
    uint16_t mask = 07;
    for (size_t i = 0; i < count; ++i) {
      AclEntry entry;
      std::memcpy(&entry, acl.data() + 4 + i * sizeof entry, sizeof entry);
      if (entry.tag == kAclMask) mask = entry.permissions;
    }
    for (size_t i = 0; i < count; ++i) {
      AclEntry entry;
      std::memcpy(&entry, acl.data() + 4 + i * sizeof entry, sizeof entry);
      const bool masked = entry.tag == kAclUser || entry.tag == kAclGroupObj || entry.tag == kAclGroup;
      if ((entry.permissions & (masked ? mask : 07) & kAclWrite) == 0) continue;
      if (entry.tag == kAclUser && entry.id != 0 && entry.id != geteuid()) {
        Add(&text, UserName(entry.id));
      } else if (entry.tag == kAclGroupObj && !sticky) {
        Add(&text, GroupName(info.st_gid));
      } else if (entry.tag == kAclGroup) {
        Add(&text, GroupName(entry.id));
      } else if (entry.tag == kAclOther && !sticky) {
        Add(&text, "others");
      }
    }
  }
  std::snprintf(who, size, "%s", text.c_str());
}

// The ACL read by `read` (getxattr or fgetxattr of system.posix_acl_access); empty without one.
template <typename Read>
std::string ReadAcl(Read read) {
  char buffer[4 + 64 * sizeof(AclEntry)];
  const ssize_t size = read(buffer, sizeof buffer);
  return size > 0 ? std::string(buffer, static_cast<size_t>(size)) : std::string();
}

}  // namespace

bool RunsAsAdministrator() { return geteuid() == 0; }

void WhoElseMayChange(const char* path, char* who, size_t size) {
  if (size == 0) return;
  who[0] = '\0';
  struct stat info;
  if (stat(path, &info) != 0) return;
  Describe(info, ReadAcl([path](char* out, size_t room) {
             return getxattr(path, "system.posix_acl_access", out, room);
           }), who, size);
}

void WhoElseMayChangeOpenFile(long long handle, char* who, size_t size) {
  if (size == 0) return;
  who[0] = '\0';
  const int fd = static_cast<int>(handle);
  struct stat info;
  if (fstat(fd, &info) != 0) return;
  Describe(info, ReadAcl([fd](char* out, size_t room) {
             return fgetxattr(fd, "system.posix_acl_access", out, room);
           }), who, size);
}

void WarnIfLibraryFolderOpenToOthers(const char* libraryPath) {
  std::string folder(libraryPath);
  const size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos) return;
  folder.resize(slash == 0 ? 1 : slash);
  WarnIfOpenToOthers("library folder", folder.c_str(),
                     "whoever may change it chooses the code that this run and the access "
                     "manager load: let only administrators change it");
}

}  // namespace platform
