// The serial ports that Linux sysfs shows, named as Windows names them: below the folder
// named by the environment variable TELMAR_SYSFS, or /sys, the entries of class/tty/, in
// natural name order (ttyS2 before ttyS10; ttyACM*, then ttyS*, then ttyUSB*):
//   ttyS<k> whose `type` attribute is non-zero: service "Serial", friendly name
//     "Communications Port (COM<k+1>)";
//   ttyACM<k>: service "usbser", friendly name "USB Serial Device (COM<n>)";
//   ttyUSB<k>: service = the last component of its device/driver link (none when there is
//     no such link), friendly name "USB Serial Port (COM<n>)".
// USB devices are numbered after the built-in ports: n starts one above the highest COM
// number of a present ttyS port (at 1 when there is none), and counts the ttyACM devices
// in natural name order, then the ttyUSB devices in natural name order.
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

// None when class/tty/ is missing.
std::vector<SysfsPort> ScanSysfsPorts();

}  // namespace posix
}  // namespace platform

#endif
