#ifndef TELMAR_PLATFORM_SLEEP_H
#define TELMAR_PLATFORM_SLEEP_H

namespace platform {

// Suspends the program for `milliseconds`.
void SleepMilliseconds(unsigned milliseconds);

}  // namespace platform

#endif
