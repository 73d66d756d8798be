// The Windows program has no window and no console: the terminate handler that libstdc++
// installs by default, which demangles the exception's type and prints it to standard
// error, has nowhere to write. This one takes its place and ends the process with the
// status abort() gives, 3, but without abort() itself: the C runtime's abort() may report
// "abnormal program termination" in a message box, which would hold an unattended run.
#include <cstdlib>
#include <cxxabi.h>

namespace __gnu_cxx {

void __verbose_terminate_handler() { _exit(3); }

}  // namespace __gnu_cxx
