// Who, besides the workstation's administrators, may change a file or a folder. The program
// runs as LocalSystem in a data folder that every user may write to by default: a file there
// that a user planted or may change, or a library folder that a user may change, can turn the
// run, or the access manager after it, against the workstation. The trace says so; the trace
// file itself is not written where another account may change it.
#ifndef TELMAR_PLATFORM_OPEN_TO_OTHERS_H
#define TELMAR_PLATFORM_OPEN_TO_OTHERS_H

#include <cstddef>

namespace platform {

// Whether this run has an administrator's rights: LocalSystem or an elevated administrator on
// Windows, root elsewhere.
bool RunsAsAdministrator();

// Who may change what lies at `path` besides administrators and LocalSystem (on Windows also
// TrustedInstaller and CREATOR OWNER) and the account this run runs as, written to `who` (cut
// to `size` bytes): on Windows each account that an allow entry of its DACL gives the right to
// write it, add files or folders to it, delete what it holds, or change its DACL or owner
// ("BUILTIN\Users (add-file, add-folder)"); on Linux its group or others where they may write
// it (not in a folder whose sticky bit keeps them to their own files), a user or group whose
// POSIX ACL entry lets it write, and an owner who is neither root nor this run's user. Empty
// when nobody else may, and when it cannot be told.
void WhoElseMayChange(const char* path, char* who, size_t size);

// The same for a file this run holds open (a Windows HANDLE opened with READ_CONTROL, or a
// file descriptor).
void WhoElseMayChangeOpenFile(long long handle, char* who, size_t size);

// When the trace or the event log is on and others may change what lies at `path`
// (WhoElseMayChange), traces "warning: <what> <path> may be changed by <who>, not only by
// administrators: <advice>", and keeps the line for the run's event (RunWarnings).
void WarnIfOpenToOthers(const char* what, const char* path, const char* advice);

// This run's warning lines, each after a line end (CR LF), for the event it reports at its end.
const char* RunWarnings();

// The same for the folder of the library loaded from `libraryPath`, unless it is one of the
// system's own folders (Windows').
void WarnIfLibraryFolderOpenToOthers(const char* libraryPath);

}  // namespace platform

#endif
