// The files a run makes for itself: created afresh, never through what lay at their path, and
// known by their identity, so that the run touches no other file of the same name.
#ifndef TELMAR_PLATFORM_NEW_FILE_H
#define TELMAR_PLATFORM_NEW_FILE_H

#include <cstdio>

namespace platform {

// Removes the name `path`, never what lies behind it: a link itself and not its target, a
// read-only file too when that name is its only one (Windows refuses to delete one as it
// stands, and its attributes are shared by all its names). A folder stays, and so does a
// read-only file with other names. True when the name was removed.
bool RemoveName(const char* path);

// Creates the empty file `path` for writing in binary append mode. Whatever lies at the path
// first is removed (RemoveName); the file is then created exclusively, as a regular file and
// never through a link: no file that existed is ever opened, and no open waits on a pipe or a
// device. Null on failure.
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

}  // namespace platform

#endif
