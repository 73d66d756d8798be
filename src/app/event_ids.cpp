// The IDs the program reports (run_events.h) are the ones its message table defines: a
// message whose ID differs would show in Event Viewer as "the description cannot be found".
#include "app/run_events.h"
#include "event_messages.h"

static_assert(kEventWritten == TELMAR_EVENT_WRITTEN, "event 1000");
static_assert(kEventReplaced == TELMAR_EVENT_REPLACED, "event 1001");
static_assert(kEventNoReader == TELMAR_EVENT_NO_READER, "event 1002");
static_assert(kEventKept == TELMAR_EVENT_KEPT, "event 2000");
static_assert(kEventGaveUp == TELMAR_EVENT_GAVE_UP, "event 2001");
static_assert(kEventOpenToOthers == TELMAR_EVENT_OPEN_TO_OTHERS, "event 2002");
static_assert(kEventNotWritten == TELMAR_EVENT_NOT_WRITTEN, "event 3000");
