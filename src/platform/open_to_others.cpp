#include "platform/open_to_others.h"

#include "platform/trace.h"

namespace platform {

void WarnIfOpenToOthers(const char* what, const char* path, const char* advice) {
  if (!TraceOn() || path == nullptr || path[0] == '\0') return;
  char who[kTraceLineSize / 2];
  WhoElseMayChange(path, who, sizeof who);
  if (who[0] != '\0') {
    Trace("warning: %s %s may be changed by %s, not only by administrators: %s", what, path, who,
          advice);
  }
}

}  // namespace platform
