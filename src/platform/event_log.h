// The system's event log, which fleets collect centrally: on Windows the Application log,
// under the source "telmar-setup", where the source is registered (the package registers it:
// the key HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\telmar-setup names the
// program as its message file). Where it is not registered, and on other systems, nothing is
// reported.
#ifndef TELMAR_PLATFORM_EVENT_LOG_H
#define TELMAR_PLATFORM_EVENT_LOG_H

#include <cstdint>

namespace platform {

// Whether the run reports to the event log: the source is registered. Asked once.
bool EventLogOn();

// Reports one event, `id` as the program's message table defines it (its two top bits, the
// severity, give the type: information, warning or error), with `count` insert strings. False,
// with LastSystemError, when it could not be reported.
bool ReportToEventLog(uint32_t id, const char* const* inserts, int count);

}  // namespace platform

#endif
