#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <vector>

#include "platform/posix/sysfs_ports.h"
#include "platform/serial_port.h"

namespace platform {

bool PortInUse(int32_t number) {
  // The ports of the run, scanned once: asked of every port, a scan each would cost as much as
  // the rest of the run's work.
  static const std::vector<posix::SysfsPort> ports = posix::ScanSysfsPorts();
  for (const posix::SysfsPort& port : ports) {
    if (port.comNumber != static_cast<unsigned long>(number)) continue;
    // Never the program's controlling terminal, and no wait for a modem's carrier.
    const int fd = open(posix::DeviceNode(port).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
  }
  return false;
}

}  // namespace platform
