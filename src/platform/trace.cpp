#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/data_folder.h"
#include "platform/open_to_others.h"
#include "platform/text_file.h"
#include "platform/version.h"

#ifndef TELMAR_SETUP_VERSION
#error "TELMAR_SETUP_VERSION is defined by the build"
#endif

namespace platform {

namespace {

// Plain values, set before any constructor runs: the first event may come from the
// construction of another process-wide object.
enum TraceState { kNotOpened = 0, kOff, kOn };
TraceState traceState = kNotOpened;

// Blanks the control characters of `line` (`length` bytes) and appends it; a failed write
// turns the trace off.
void WriteLine(char* line, size_t length) {
  for (size_t i = 0; i < length; ++i) line[i] = OneLineByte(line[i]);
  if (!trace_system::AppendLine(line, length)) traceState = kOff;
}

void FormatLine(const char* format, va_list arguments) {
  char line[kTraceLineSize];
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  if (length < 0) return;
  line[sizeof line - 1] = '\0';
  WriteLine(line, std::strlen(line));
}

void OpeningLine(const char* format, ...) TELMAR_TRACE_FORMAT;
void OpeningLine(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  FormatLine(format, arguments);
  va_end(arguments);
}

void WriteOpeningLines() {
  char now[32];
  trace_system::LocalTime(now, sizeof now);
  OpeningLine("telmar-setup %s, %s, system major version %u", TELMAR_SETUP_VERSION, now,
              versionApi.majorVersion());
  char folder[kTraceLineSize];
  DescribeDataFolder(folder, sizeof folder);
  OpeningLine("%s", folder);
  if (DataFilePath("", folder, sizeof folder) && FolderExists(folder)) {
    WarnIfOpenToOthers("data folder", folder,
                       "whoever may change it may plant files that this run and the access "
                       "manager take as theirs, such as a telmar.old that names a library of "
                       "theirs: let only administrators change it");
  }
}

}  // namespace

bool TraceOn() {
  if (traceState == kNotOpened) {
    traceState = trace_system::Open() ? kOn : kOff;
    if (traceState == kOn) WriteOpeningLines();
  }
  return traceState == kOn;
}

void Trace(const char* format, ...) {
  if (!TraceOn()) return;
  va_list arguments;
  va_start(arguments, format);
  FormatLine(format, arguments);
  va_end(arguments);
}

}  // namespace platform
