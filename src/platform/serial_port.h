// Whether another program holds a serial port. A COM port opens for one program at a time: a
// port that the access manager holds for its reader does not open for the protocol library
// either, and the reader on it would count as absent. So the run asks before it probes.
#ifndef TELMAR_PLATFORM_SERIAL_PORT_H
#define TELMAR_PLATFORM_SERIAL_PORT_H

#include <cstdint>

namespace platform {

// Whether another program holds COM port `number` open. The port is opened for reading and
// writing, shared with nobody, and let go at once: on Windows "\\.\COMn", refused with access
// denied or a sharing violation; on Linux its device node (/dev/<name>, or <TELMAR_SYSFS>/dev/
// <name> on a simulated workstation), refused with EBUSY (a program that set TIOCEXCL), or
// opened but under an exclusive flock of another program. Any other answer (it opens, it fails
// for another reason, there is no such node) is false: the port is then probed as ever.
bool PortInUse(int32_t number);

// Windows: the calls PortInUse makes, which tests may replace with fakes.
struct PortOpenApi {
  // CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  // null (never INVALID_HANDLE_VALUE) when it fails, with the error in *error.
  void* (*open)(const char* name, unsigned long* error);
  void (*close)(void* handle);
};
extern PortOpenApi portOpenApi;

}  // namespace platform

#endif
