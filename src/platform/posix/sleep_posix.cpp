#include <errno.h>
#include <time.h>

#include "platform/sleep.h"

namespace platform {

void SleepMilliseconds(unsigned milliseconds) {
  timespec wait;
  wait.tv_sec = milliseconds / 1000;
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
