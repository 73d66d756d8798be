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

// The standard library reports a misuse of its strings (a null text, a length beyond
// what it can hold) or a failed allocation by throwing an exception that nothing here
// catches, which ends in the handler above. These take the place of its own reporting
// functions and end the same way at once: its reporting functions would also bring in a
// second string implementation and the exception classes (some 50 KB of the program) for
// nothing.
namespace std {

void __throw_bad_alloc() { _exit(3); }
void __throw_logic_error(const char*) { _exit(3); }
void __throw_length_error(const char*) { _exit(3); }
void __throw_out_of_range_fmt(const char*, ...) { _exit(3); }

}  // namespace std
