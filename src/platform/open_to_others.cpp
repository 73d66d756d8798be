#include "platform/open_to_others.h"

#include <cstdio>
#include <string>

#include "platform/event_log.h"
#include "platform/trace.h"

namespace platform {

namespace {

// Built on first use: the first warning may come during static initialisation.
std::string& Warnings() {
  static std::string warnings;
  return warnings;
}

}  // namespace

void WarnIfOpenToOthers(const char* what, const char* path, const char* advice) {
  if ((!TraceOn() && !EventLogOn()) || path == nullptr || path[0] == '\0') return;
  char who[kTraceLineSize / 2];
  WhoElseMayChange(path, who, sizeof who);
  if (who[0] == '\0') return;
  char line[kTraceLineSize];
  std::snprintf(line, sizeof line, "warning: %s %s may be changed by %s, not only by "
                "administrators: %s", what, path, who, advice);
  Trace("%s", line);
  Warnings() += "\r\n";
  Warnings() += line;
}

const char* RunWarnings() { return Warnings().c_str(); }

}  // namespace platform
