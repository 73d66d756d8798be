#include "app/one_run_at_a_time.h"

#include <string>

#include "app/run_report.h"
#include "platform/run_lock.h"
#include "platform/sleep.h"
#include "platform/system_error.h"
#include "platform/trace.h"

namespace {

bool WithoutLock() {
  platform::Trace("run lock: none can be had here (%s): this run goes on without it",
                  platform::SystemErrorText(platform::LastSystemError()).c_str());
  return true;
}

}  // namespace

bool TakeRunLock(unsigned pauses) {
  platform::RunLockState state = platform::TryRunLock();
  if (state == platform::kRunLockTaken) return true;
  if (state == platform::kRunLockUnavailable) return WithoutLock();
  platform::Trace("another run of telmar-setup is going on: waiting for it to end, up to %lu s",
                  static_cast<unsigned long>(pauses) * kRunLockPauseMilliseconds / 1000);
  unsigned waited = 0;
  while (state == platform::kRunLockBusy && waited < pauses) {
    platform::SleepMilliseconds(kRunLockPauseMilliseconds);
    ++waited;
    state = platform::TryRunLock();
  }
  const unsigned long seconds = static_cast<unsigned long>(waited) * kRunLockPauseMilliseconds / 1000;
  if (state == platform::kRunLockUnavailable) return WithoutLock();
  if (state == platform::kRunLockBusy) {
    const std::string last = "the other run still goes on after " + std::to_string(seconds) +
                             " s: this run ends without changing anything";
    ReportRunEnd(kEventGaveUp, 0, 0, "", "", last);
    platform::Trace("%s", last.c_str());
    return false;
  }
  platform::Trace("the other run has ended: this run goes on after waiting %lu s", seconds);
  return true;
}
