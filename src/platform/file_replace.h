// Replacing a file whole: the new content is built in a file of its own beside the one it
// replaces, forced to the disk, then put in its place in one step, so that whoever reads
// the path finds the earlier file or the complete new one, never a part of either.
#ifndef TELMAR_PLATFORM_FILE_REPLACE_H
#define TELMAR_PLATFORM_FILE_REPLACE_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/system_error.h"

namespace platform {

// Whether `error` says the folder lets nobody of our rights create a file in it.
bool IsRefusal(SystemError error);

// Creates the empty file `path` for writing in binary append mode. Whatever lies at the
// path first is removed (a link itself, never what it points to); the file is then
// created exclusively, so no file that existed is ever opened. Null on failure.
std::FILE* OpenNewFile(const char* path);

// Forces the content of the file at `path` to the disk.
bool FlushToDisk(const char* path);

// Puts the file `from` in place of `to` in one step, and sees that the change of the
// folder reaches the disk. A `to` that is read-only, or not a file, is refused and left
// as it is; so is any `to` when the step fails. `from` is then still there.
bool MoveIntoPlace(const char* from, const char* to);

// Rewrites the existing, writable file `path` with `content`, keeping the file itself
// (for a folder that takes no new file). This cannot be one step: a failure restores
// the earlier bytes, which are kept in memory, but a stop during the write does not.
bool RewriteInPlace(const char* path, const std::string& content);

// The whole content of the regular file at `path`.
bool ReadWholeFile(const char* path, std::string* content);

// The folder for this user's temporary files, with its trailing separator.
bool TemporaryFolder(char* out, size_t size);

}  // namespace platform

#endif
