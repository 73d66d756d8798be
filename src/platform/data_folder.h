// The access manager's data folder, where both files of the program lie.
#ifndef TELMAR_PLATFORM_DATA_FOLDER_H
#define TELMAR_PLATFORM_DATA_FOLDER_H

#include <cstddef>

namespace platform {

// Longest full path the program handles, terminator excluded.
const size_t kMaxPath = 268;

// Joins the profile folder, the sub-folder that goes with the major version and the
// file name: "<profile>\Application Data\velmora\telmarv3\<file>" below 6, else
// "<profile>\velmora\telmarv3\<file>" ('/' as separator on POSIX). Returns false, with
// `out` set to the empty text, when the profile folder is missing or empty, or when the
// path would not fit in `size` bytes (terminator included). Never writes past `size`.
bool ComposeDataFilePath(const char* profileFolder, unsigned majorVersion,
                         const char* fileName, char* out, size_t size);

// The same from the environment (ALLUSERSPROFILE) and versionApi (version.h).
bool DataFilePath(const char* fileName, char* out, size_t size);

// The data folder as one line of the trace's opening lines, cut to `size` bytes:
// "data folder <path>: exists" (or "missing"), or "data folder: none (...)" when
// DataFilePath gives no path.
void DescribeDataFolder(char* out, size_t size);

// True when `path` names an existing folder. Implemented once per system (win/, posix/).
bool FolderExists(const char* path);

}  // namespace platform

#endif
