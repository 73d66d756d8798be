// One run of the program at a time. Two runs that overlap (an installer's and a start-up
// script's, a repair started while the first run still probes, a technician who starts the
// program twice) would probe the same COM ports, share the parameter file and replace
// telmar.old in turns: the second run waits until the first has ended.
#ifndef TELMAR_APP_ONE_RUN_AT_A_TIME_H
#define TELMAR_APP_ONE_RUN_AT_A_TIME_H

// The wait for another run: a try of the lock after each pause, 10 minutes in all. A run
// lasts a few seconds a port, so only a run that hangs holds the lock that long.
const unsigned kRunLockPauseMilliseconds = 100;
const unsigned kRunLockPauses = 6000;

// Takes the run lock, trying again after each of up to `pauses` pauses while another run
// holds it; says in the trace what it waited for and how it ended. False when another run
// still holds it after the last pause; true when the run may go on: with the lock, or
// without one where none can be had here (platform/run_lock.h).
bool TakeRunLock(unsigned pauses);

#endif
