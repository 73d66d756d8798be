// Replacing a file whole: the new content is built in a file of its own beside the one it
// replaces (new_file.h), forced to the disk, given what the earlier file had besides its bytes,
// then put in its place in one step, so that whoever reads the path finds the earlier file or
// the complete new one, never a part of either.
#ifndef TELMAR_PLATFORM_FILE_REPLACE_H
#define TELMAR_PLATFORM_FILE_REPLACE_H

#include "platform/system_error.h"

namespace platform {

// Forces the content of the file at `path` to the disk.
bool FlushToDisk(const char* path);

// What of the earlier file's owner the new one could not take.
struct OwnerKept {
  SystemError ownerRefused;  // 0 when the owner was kept, else why not
  bool groupKept;            // the group, kept even where the owner was refused
};

// Gives the regular file `to` who may read and change the regular file `from`, and how it is
// shown: on Windows its hidden, system and not-content-indexed attributes, then its owner,
// group and DACL as they stand (inherited entries included, not recomputed); on Linux its
// owner and group, its POSIX ACL and user.* extended attributes, then its mode. The owner may
// be refused (only an administrator, or root, may give a file to another account): `kept` then
// says so, and the rest is still copied. False, with LastSystemError, when the rest could not
// be read or set.
bool CopyFileSecurity(const char* from, const char* to, OwnerKept* kept);

// Puts the file `from` in place of `to` in one step. A `to` that is read-only, or not a
// file, is refused and left as it is; so is any `to` when the step fails. `from` is then
// still there. After a move, `*unsynced` is 0 when the change of the folder is known to have
// reached the disk, else the error of the sync that failed.
bool MoveIntoPlace(const char* from, const char* to, SystemError* unsynced);

}  // namespace platform

#endif
