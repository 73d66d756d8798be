// The lock that keeps two runs of the program from working in the data folder at once: an
// installer's run and a start-up script's, or a repair started while the first run still
// probes. The system releases it when the process ends, however it ends, so no stale lock
// can keep a later run out. Runs under other accounts share it wherever they share the data
// folder.
//
// Linux: an exclusive flock on the data folder itself, which leaves no file. Windows: the
// file "telmar-setup.lock" in the data folder, made anew, never through a link, held without
// sharing and deleted when its handle closes. One that a run stopped by the system left is
// taken over as it stands by the next runs, and stays.
#ifndef TELMAR_PLATFORM_RUN_LOCK_H
#define TELMAR_PLATFORM_RUN_LOCK_H

namespace platform {

enum RunLockState {
  kRunLockTaken,        // this process holds it now, until it ends or releases it
  kRunLockBusy,         // another process holds it: try again later
  kRunLockUnavailable,  // none can be had here (no data folder, no rights); LastSystemError says why
};

// One try, which does not wait. Once taken, further tries say kRunLockTaken.
RunLockState TryRunLock();

// Lets the next run in before the process ends.
void ReleaseRunLock();

}  // namespace platform

#endif
