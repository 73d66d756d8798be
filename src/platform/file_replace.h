// Replacing a file whole: the new content is built in a file of its own beside the one it
// replaces, forced to the disk, then put in its place in one step, so that whoever reads
// the path finds the earlier file or the complete new one, never a part of either. And the
// files a run makes for itself: created afresh, never through what lay at their path, and
// known by their identity so that the run touches no other file of the same name.
#ifndef TELMAR_PLATFORM_FILE_REPLACE_H
#define TELMAR_PLATFORM_FILE_REPLACE_H

#include <cstdio>

#include "platform/system_error.h"

namespace platform {

// Removes the file or link at `path`, a link itself and never what it points to, and a
// read-only file too (Windows refuses to delete one as it stands); a folder stays. True when
// something was removed.
bool RemoveLeftover(const char* path);

// Creates the empty file `path` for writing in binary append mode. Whatever lies at the path
// first is removed (RemoveLeftover); the file is then created exclusively, as a regular file
// and never through a link: no file that existed is ever opened, and no open waits on a pipe
// or a device. Null on failure.
std::FILE* OpenNewFile(const char* path);

// What tells one file from another: the volume that holds it and its number there.
struct FileIdentity {
  unsigned long long volume;
  unsigned long long index;
};

inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

// The identity of the regular file at `path`, which is not followed if it is a link; false
// when no regular file lies there (nothing, a link, a folder, a pipe, a device).
bool IdentifyFile(const char* path, FileIdentity* identity);

// A regular file held open without access to its data, which stands in nobody's way. While it
// is held, no other file can take its identity, not even once it is removed: a number freed
// by a removal is soon given to the next file made.
struct HeldFile {
  long long handle;  // the system's handle; negative while nothing is held
  FileIdentity identity;
};
// Holds the regular file at `path` (not followed if it is a link); false, and nothing held,
// when no regular file lies there.
bool HoldFile(const char* path, HeldFile* held);
void ReleaseFile(HeldFile* held);

// True when anything lies at `path`: a file, a link (even one that leads nowhere), a folder.
bool SomethingAt(const char* path);

// Forces the content of the file at `path` to the disk.
bool FlushToDisk(const char* path);

// Puts the file `from` in place of `to` in one step. A `to` that is read-only, or not a
// file, is refused and left as it is; so is any `to` when the step fails. `from` is then
// still there. After a move, `*unsynced` is 0 when the change of the folder is known to have
// reached the disk, else the error of the sync that failed.
bool MoveIntoPlace(const char* from, const char* to, SystemError* unsynced);

}  // namespace platform

#endif
