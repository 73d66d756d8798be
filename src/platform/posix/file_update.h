// Reading and rewriting whole files on POSIX, for the profile strings (and the folder's sync,
// for the configuration file's replacement). Only regular files are read or written (a FIFO
// or a device at the path is refused at once, never waited on); a link is followed once,
// when the file is read, and every later step works on the file that was read, or on
// nothing.
#ifndef TELMAR_PLATFORM_POSIX_FILE_UPDATE_H
#define TELMAR_PLATFORM_POSIX_FILE_UPDATE_H

#include <sys/stat.h>

#include <string>

namespace platform {
namespace posix {

enum FileState { kFileAbsent, kFilePresent, kFileUnusable };

// A file as it was read: where it lies (links resolved), what it was, what it held.
struct FileSnapshot {
  std::string target;
  struct stat info;
  std::string content;
};

// kFileAbsent when nothing lies at `path`, kFileUnusable when what lies there is not a
// readable regular file.
FileState LoadFile(const char* path, FileSnapshot* file);

// Like a file with the read-only attribute on Windows, a file without any write
// permission bit is refused, also to the super-user.
bool MayWrite(const FileSnapshot& file);

// Puts `after` in place of the file that was read: through a temporary file beside it,
// renamed over it, where that keeps the file's identity; else (a folder that takes no new
// file or no rename over it, other hard links, an owner the temporary file cannot take)
// by an edit in place. Refused when the file at the target is no longer the one read.
// The temporary file has one name per file, "<file>.tmp", removed first when an
// interrupted update left it.
bool UpdateFile(const FileSnapshot& file, const std::string& after);

// Rewrites the file that was read, in place, from its content to `after`: room for a
// longer content is reserved first, so that a full disk fails before anything changed;
// a write that fails part-way puts the bytes that were read back.
bool EditInPlace(const FileSnapshot& file, const std::string& after);

// Creates `path`, which must not exist, with `content`; removes it again on failure.
bool CreateNewFile(const char* path, const std::string& content);

// Forces the entries of the folder that holds `path` to the disk.
bool SyncFolderOf(const std::string& path);

}  // namespace posix
}  // namespace platform

#endif
