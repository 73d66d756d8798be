#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/posix/sysfs_ports.h"
#include "platform/serial_port.h"

namespace platform {

bool PortInUse(int32_t number) {
  for (const posix::SysfsPort& port : posix::ScanSysfsPorts()) {
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
