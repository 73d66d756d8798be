#ifndef TELMAR_PLATFORM_SLEEP_H
#define TELMAR_PLATFORM_SLEEP_H

namespace platform {

void SleepMilliseconds(unsigned milliseconds);

}  // namespace platform

#endif
