// The serial ports that Linux sysfs shows, below the folder that the environment variable
// TELMAR_SYSFS names, or /sys: the entries of class/tty/ that Windows would list as ports,
// each with the driver service and friendly name Windows would give it. Which entries count,
// their order and their COM numbers are the README's "Serial ports on Linux"; the tests of
// tests/discovery/sysfs_ports_test.cpp hold the code to it.
#ifndef TELMAR_PLATFORM_POSIX_SYSFS_PORTS_H
#define TELMAR_PLATFORM_POSIX_SYSFS_PORTS_H

#include <string>
#include <vector>

namespace platform {
namespace posix {

struct SysfsPort {
  std::string name;     // the entry's name, "ttyS0"
  std::string service;  // empty when the device has none
  std::string friendlyName;
  unsigned long comNumber = 0;  // the number its friendly name gives
};

// None when class/tty/ is missing.
std::vector<SysfsPort> ScanSysfsPorts();

// The device node of a port: /dev/<name>, or <TELMAR_SYSFS>/dev/<name> where a simulated
// workstation is named.
std::string DeviceNode(const SysfsPort& port);

}  // namespace posix
}  // namespace platform

#endif
