// The Windows program has no window and no console: the terminate handler that libstdc++
// installs by default, which demangles the exception's type and prints it to standard
// error, has nowhere to write. This one takes its place and ends the process as it would.
#include <cstdlib>
#include <cxxabi.h>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
