// The serial ports that Linux sysfs shows, named as Windows names them (device_setup.h
// gives the devices and their names).
#ifndef TELMAR_PLATFORM_POSIX_SYSFS_PORTS_H
#define TELMAR_PLATFORM_POSIX_SYSFS_PORTS_H

#include <string>
#include <vector>

namespace platform {
namespace posix {

struct SysfsPort {
  std::string service;  // empty when the device has none
  std::string friendlyName;
};

// The ports of class/tty/ below the folder that TELMAR_SYSFS names, or /sys, in natural
// name order; none when that folder is missing.
std::vector<SysfsPort> ScanSysfsPorts();

}  // namespace posix
}  // namespace platform

#endif
