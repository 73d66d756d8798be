// The Windows entry point of a GUI-subsystem program: no window, no console, no message
// loop. Its four arguments (instance, previous instance, command line, show state) are
// not used.
#include "app/probe_driver.h"
#include "app/process_objects.h"

extern "C" int __stdcall WinMain(void*, void*, char*, int) {
  return RunProbeDriver(processObjects.link, processObjects.pcscReaders);
}
