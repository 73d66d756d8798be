#include <windows.h>

#include "platform/event_log.h"

namespace platform {

namespace {

const char kSource[] = "telmar-setup";

}  // namespace

bool EventLogOn() {
  static int registered = -1;
  if (registered < 0) {
    HKEY key;
    // Not a view of the registry that WOW64 redirects: the 32-bit program sees the one key.
    registered = RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
                               "telmar-setup",
                               0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
    if (registered) RegCloseKey(key);
  }
  return registered != 0;
}

bool ReportToEventLog(uint32_t id, const char* const* inserts, int count) {
  static const WORD kTypes[] = {EVENTLOG_SUCCESS, EVENTLOG_INFORMATION_TYPE,
                                EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE};
  HANDLE source = RegisterEventSourceA(nullptr, kSource);
  if (source == nullptr) return false;
  const BOOL reported = ReportEventA(source, kTypes[id >> 30], 0, id, nullptr,
                                     static_cast<WORD>(count), 0,
                                     const_cast<const char**>(inserts), nullptr);
  const DWORD error = GetLastError();
  DeregisterEventSource(source);
  SetLastError(error);
  return reported != FALSE;
}

}  // namespace platform
