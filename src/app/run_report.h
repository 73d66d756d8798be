// The one event a run reports at its end, for the fleet's event log (platform/event_log.h):
// chosen by how telmar.old ended, and carrying what the trace's last line says. Nothing where
// the event log is off; a report that fails is traced and changes nothing else. A run that
// faults reports nothing: the installer's log and the exit status say it.
#ifndef TELMAR_APP_RUN_REPORT_H
#define TELMAR_APP_RUN_REPORT_H

#include <cstdint>
#include <string>

#include "app/run_events.h"
#include "config/config_replacement.h"

// The event for an ending; an ending that would be information becomes kEventOpenToOthers
// when the run warned that other accounts may change what it relies on.
RunEvent EventFor(ConfigReplacement::Ended ended, bool warned);

// Reports `event` with the readers found, telmar.old's path, the reason it was kept or not
// written, the trace's last line and the run's warnings as its inserts.
void ReportRunEnd(RunEvent event, int32_t serialCount, int32_t pcscCount, const char* path,
                  const std::string& why, const std::string& lastLine);

#endif
