#include "app/run_report.h"

#include "platform/event_log.h"
#include "platform/open_to_others.h"
#include "platform/system_error.h"
#include "platform/trace.h"

RunEvent EventFor(ConfigReplacement::Ended ended, bool warned) {
  switch (ended) {
    case ConfigReplacement::kKept: return kEventKept;
    case ConfigReplacement::kNotWritten: return kEventNotWritten;
    default: break;
  }
  if (warned) return kEventOpenToOthers;
  return ended == ConfigReplacement::kWritten    ? kEventWritten
         : ended == ConfigReplacement::kReplaced ? kEventReplaced
                                                 : kEventNoReader;
}

void ReportRunEnd(RunEvent event, int32_t serialCount, int32_t pcscCount, const char* path,
                  const std::string& why, const std::string& lastLine) {
  if (!platform::EventLogOn()) return;
  const std::string serial = std::to_string(serialCount), pcsc = std::to_string(pcscCount);
  const char* const inserts[] = {serial.c_str(), pcsc.c_str(), path, why.c_str(),
                                 lastLine.c_str(), platform::RunWarnings()};
  const unsigned id = event & 0xFFFFu;
  if (platform::ReportToEventLog(event, inserts, 6)) {
    platform::Trace("event log: event %u reported to the Application log", id);
  } else {
    platform::Trace("event log: event %u could not be reported: %s", id,
                    platform::SystemErrorText(platform::LastSystemError()).c_str());
  }
}
