// Why an operation of the system failed, as the system said it: the code, and the text a
// technician reads in the trace.
#ifndef TELMAR_PLATFORM_SYSTEM_ERROR_H
#define TELMAR_PLATFORM_SYSTEM_ERROR_H

#include <string>

namespace platform {

// errno on POSIX, GetLastError on Windows; taken right after the call that failed.
typedef unsigned long SystemError;
SystemError LastSystemError();

// "error N (what it means)"; on Windows the meaning is given for the usual codes only.
std::string SystemErrorText(SystemError error);

}  // namespace platform

#endif
