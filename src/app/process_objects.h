// The objects that live for the whole process, built before the entry function runs.
//
// They are static objects, not locals of the entry function, because their lives are the
// process's: the parameter file is on disk before anything else of the program runs, and it
// is deleted by the runtime at process exit (after the entry function returns), which no
// path through the probe driver can skip. The entry function only drives what they found.
#ifndef TELMAR_APP_PROCESS_OBJECTS_H
#define TELMAR_APP_PROCESS_OBJECTS_H

#include <cstdlib>

#include "app/one_run_at_a_time.h"
#include "config/config_replacement.h"
#include "discovery/pcsc_reader_list.h"
#include "platform/module.h"
#include "platform/run_lock.h"
#include "serial/serial_param_file.h"
#include "serial/serial_reader_link.h"

// No system dialog from here on: built first, before anything can load a library.
struct NoErrorDialogs {
  NoErrorDialogs() { platform::SuppressErrorDialogs(); }
};

// One run at a time, taken before anything touches the data folder: a run that cannot get
// the lock ends here, having changed nothing. Under the lock, what interrupted runs left
// goes. Released last, once the parameter file is gone.
struct OneRunAtATime {
  OneRunAtATime() {
    if (!TakeRunLock(kRunLockPauses)) std::_Exit(0);
    ConfigReplacement::RemoveLeftovers();
  }
  ~OneRunAtATime() { platform::ReleaseRunLock(); }
};

// Taking the current folder out of the library search before any library is loaded.
struct RestrictedLibrarySearch {
  RestrictedLibrarySearch() { platform::RestrictLibrarySearch(); }
};

// Members are built in the order they are declared, and that order is required: error
// dialogs are turned off, the run waits for any other run to end, and the library search is
// restricted before anything is loaded; the parameter file is written, the link reads it
// back and loads the protocol library, and only then is the smart-card service asked for its
// readers. They are destroyed in the reverse order.
struct ProcessObjects {
  NoErrorDialogs noErrorDialogs;
  OneRunAtATime oneRunAtATime;
  RestrictedLibrarySearch restrictedLibrarySearch;
  SerialParamFile paramFile;
  SerialReaderLink link;
  PcscReaderList pcscReaders;

  ProcessObjects() : link(paramFile) {}
};

// The one instance, constructed during static initialisation, destroyed at process exit.
extern ProcessObjects processObjects;

#endif
