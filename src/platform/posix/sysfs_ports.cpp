#include "platform/posix/sysfs_ports.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace posix {

namespace {

// In natural name order: ttyACM*, then ttyS*, then ttyUSB*.
enum TtyKind { kTtyAcm, kTtyS, kTtyUsb };

struct Tty {
  TtyKind kind;
  unsigned long number;
  SysfsPort port;
};

// The simulated workstation's root, "" for the real one.
std::string SimulatedRoot() {
  const char* root = std::getenv("TELMAR_SYSFS");
  return root != nullptr ? root : "";
}

std::string SysfsRoot() {
  const std::string root = SimulatedRoot();
  return root.empty() ? "/sys" : root;
}

// "ttyS12" -> kind kTtyS, number 12. False for any other name.
bool ParseTtyName(const char* name, Tty* tty) {
  static const char* const kPrefixes[] = {"ttyACM", "ttyS", "ttyUSB"};  // by TtyKind
  for (int kind = kTtyAcm; kind <= kTtyUsb; ++kind) {
    const size_t length = std::strlen(kPrefixes[kind]);
    if (std::strncmp(name, kPrefixes[kind], length) != 0) continue;
    const char* digits = name + length;
    const size_t count = std::strlen(digits);
    if (count == 0 || count > 9 || std::strspn(digits, "0123456789") != count) return false;
    tty->kind = static_cast<TtyKind>(kind);
    tty->number = std::strtoul(digits, nullptr, 10);
    return true;
  }
  return false;
}

// A serial port of the 8250 family is present when its `type` attribute is non-zero.
bool SerialPortPresent(const std::string& folder) {
  FILE* file = std::fopen((folder + "/type").c_str(), "r");
  if (file == nullptr) return false;
  long type = 0;
  const int read = std::fscanf(file, "%ld", &type);
  std::fclose(file);
  return read == 1 && type != 0;
}

// The last component of the device's driver link; empty without one.
std::string DriverName(const std::string& folder) {
  char target[4096];
  const ssize_t length = readlink((folder + "/device/driver").c_str(), target, sizeof target - 1);
  if (length <= 0) return std::string();
  target[length] = '\0';
  std::string link(target);
  while (!link.empty() && link.back() == '/') link.pop_back();
  const size_t slash = link.find_last_of('/');
  return slash == std::string::npos ? link : link.substr(slash + 1);
}

bool NaturalLess(const Tty& a, const Tty& b) {
  return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
}

void NameWithComNumber(SysfsPort* port, const char* text, unsigned long number) {
  char name[96];
  std::snprintf(name, sizeof name, "%s (COM%lu)", text, number);
  port->friendlyName = name;
  port->comNumber = number;
}

}  // namespace

std::vector<SysfsPort> ScanSysfsPorts() {
  std::vector<Tty> devices;
  const std::string classFolder = SysfsRoot() + "/class/tty";
  DIR* dir = opendir(classFolder.c_str());
  if (dir == nullptr) return {};
  while (dirent* entry = readdir(dir)) {
    Tty device;
    if (!ParseTtyName(entry->d_name, &device)) continue;
    device.port.name = entry->d_name;
    const std::string folder = classFolder + "/" + entry->d_name;
    if (device.kind == kTtyS && !SerialPortPresent(folder)) continue;
    if (device.kind == kTtyS) device.port.service = "Serial";
    if (device.kind == kTtyAcm) device.port.service = "usbser";
    if (device.kind == kTtyUsb) device.port.service = DriverName(folder);
    devices.push_back(device);
  }
  closedir(dir);
  std::sort(devices.begin(), devices.end(), NaturalLess);

  // Built-in ports keep their own numbers; USB devices come after the highest of them.
  unsigned long next = 1;
  for (Tty& device : devices) {
    if (device.kind != kTtyS) continue;
    NameWithComNumber(&device.port, "Communications Port", device.number + 1);
    next = std::max(next, device.number + 2);
  }
  for (TtyKind kind : {kTtyAcm, kTtyUsb}) {
    for (Tty& device : devices) {
      if (device.kind != kind) continue;
      NameWithComNumber(&device.port, kind == kTtyAcm ? "USB Serial Device" : "USB Serial Port",
                        next++);
    }
  }
  std::vector<SysfsPort> ports;
  for (const Tty& device : devices) ports.push_back(device.port);
  return ports;
}

std::string DeviceNode(const SysfsPort& port) { return SimulatedRoot() + "/dev/" + port.name; }

}  // namespace posix
}  // namespace platform
