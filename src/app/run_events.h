// The events a run reports at its end (event_messages.mc holds their messages, run_report.h the
// reporting): the IDs that administrators filter on, with the severity bits of the message
// table's full ID. Event Viewer shows the low 16 bits.
#ifndef TELMAR_APP_RUN_EVENTS_H
#define TELMAR_APP_RUN_EVENTS_H

#include <cstdint>

enum RunEvent : uint32_t {
  kEventWritten = 0x400003E8,        // 1000, information: a first telmar.old
  kEventReplaced = 0x400003E9,       // 1001, information
  kEventNoReader = 0x400003EA,       // 1002, information: telmar.old left as it was, or not written
  kEventKept = 0x800007D0,           // 2000, warning: the earlier telmar.old kept, and why
  kEventGaveUp = 0x800007D1,         // 2001, warning: another run went on for 10 minutes
  kEventOpenToOthers = 0x800007D2,   // 2002, warning: an ending of 1000 to 1002, with warnings
  kEventNotWritten = 0xC0000BB8,     // 3000, error: readers found, telmar.old not written
};

#endif
