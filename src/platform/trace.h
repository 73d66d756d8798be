// The installer's trace, an opt-in plain-text report of the run (doc/administrators.md,
// "Tracing a run", says what it holds and how a technician turns it on). Each event is
// appended as one line to the file that TELMAR_SETUP_LOG names (on Windows, when it is unset
// or empty, the settings key's value TraceFile: see settings.h). The file is opened on first
// use, which may come during static initialisation, and gets the run's opening lines then
// (version, date and time, system version, the data folder's line from DescribeDataFolder,
// and the warning when others may change the folder). A file that a link leads to, one with
// other names, and, in a run with an administrator's rights, one another account may change
// are not opened. When the variable is unset or empty, or the file cannot be opened or
// written, nothing is written anywhere and every call returns at once.
#ifndef TELMAR_PLATFORM_TRACE_H
#define TELMAR_PLATFORM_TRACE_H

#include <cstddef>

#if defined(__MINGW32__)
#define TELMAR_TRACE_FORMAT __attribute__((format(gnu_printf, 1, 2)))
#else
#define TELMAR_TRACE_FORMAT __attribute__((format(printf, 1, 2)))
#endif

namespace platform {

// True when the trace is being written: callers test it before gathering what only the
// trace needs. A run with the trace therefore makes more system calls than one without
// (the COM port discovery reads the name of every port, not only of those it probes), but
// writes the same files and returns the same results.
bool TraceOn();

// Formats one event as printf does and appends it as a line. Control characters (CR, LF
// and the others) are written as blanks, so every event stays on one line; a line is cut
// at kTraceLineSize - 1 bytes.
void Trace(const char* format, ...) TELMAR_TRACE_FORMAT;

const size_t kTraceLineSize = 1024;

// Room for a path written in the trace, terminator included.
const size_t kTracePathSize = 512;

// Implemented once per system (win/, posix/) for Trace; not for other callers.
namespace trace_system {
// Opens the file that TELMAR_SETUP_LOG (or the TraceFile setting) names for appending; false
// when neither names one or the file cannot be opened.
bool Open();
// Appends `length` bytes and the system's line end as one write; false when that failed.
bool AppendLine(const char* text, size_t length);
// The local date and time as "YYYY-MM-DD hh:mm:ss".
void LocalTime(char* out, size_t size);
}  // namespace trace_system

}  // namespace platform

#endif
