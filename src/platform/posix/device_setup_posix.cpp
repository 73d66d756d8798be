// The device installation service answered from Linux sysfs (see device_setup.h for the
// devices it reports and how they are named).
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/device_setup.h"

namespace platform {

namespace {

const uint32_t kErrorInvalidUserBuffer = 1784;

enum TtyKind { kTtyAcm, kTtyS, kTtyUsb };

struct SysfsDevice {
  std::string prefix;  // "ttyACM", "ttyS" or "ttyUSB"
  unsigned long number;
  TtyKind kind;
  bool hasService;
  std::string service;
  std::string friendlyName;
};

struct SysfsDeviceSet {
  std::vector<SysfsDevice> devices;
};

uint32_t lastError = 0;

std::string SysfsRoot() {
  const char* root = std::getenv("TELMAR_SYSFS");
  if (root != nullptr && root[0] != '\0') return std::string(root);
  return std::string("/sys");
}

// "ttyS12" -> kind kTtyS, number 12. False for any other name.
bool ParseTtyName(const char* name, SysfsDevice* device) {
  static const struct {
    const char* prefix;
    TtyKind kind;
  } kKinds[] = {{"ttyACM", kTtyAcm}, {"ttyS", kTtyS}, {"ttyUSB", kTtyUsb}};
  for (const auto& k : kKinds) {
    const size_t length = std::strlen(k.prefix);
    if (std::strncmp(name, k.prefix, length) != 0) continue;
    const char* digits = name + length;
    const size_t count = std::strlen(digits);
    if (count == 0 || count > 9) return false;
    for (size_t i = 0; i < count; ++i) {
      if (digits[i] < '0' || digits[i] > '9') return false;
    }
    device->prefix = k.prefix;
    device->kind = k.kind;
    device->number = std::strtoul(digits, nullptr, 10);
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

// The last component of the device's driver link, or false without one.
bool DriverName(const std::string& folder, std::string* name) {
  char target[4096];
  const ssize_t length = readlink((folder + "/device/driver").c_str(), target, sizeof target - 1);
  if (length <= 0) return false;
  target[length] = '\0';
  std::string link(target);
  while (!link.empty() && link.back() == '/') link.pop_back();
  const size_t slash = link.find_last_of('/');
  *name = slash == std::string::npos ? link : link.substr(slash + 1);
  return !name->empty();
}

bool NaturalLess(const SysfsDevice& a, const SysfsDevice& b) {
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  return a.number < b.number;
}

std::string WithComNumber(const char* text, unsigned long number) {
  char name[96];
  std::snprintf(name, sizeof name, "%s (COM%lu)", text, number);
  return std::string(name);
}

SysfsDeviceSet* ReadPortDevices() {
  SysfsDeviceSet* set = new SysfsDeviceSet;
  const std::string classFolder = SysfsRoot() + "/class/tty";
  DIR* dir = opendir(classFolder.c_str());
  if (dir == nullptr) return set;  // no tty class: no ports
  while (dirent* entry = readdir(dir)) {
    SysfsDevice device;
    if (!ParseTtyName(entry->d_name, &device)) continue;
    const std::string folder = classFolder + "/" + entry->d_name;
    if (device.kind == kTtyS && !SerialPortPresent(folder)) continue;
    if (device.kind == kTtyS) {
      device.hasService = true;
      device.service = "Serial";
    } else if (device.kind == kTtyAcm) {
      device.hasService = true;
      device.service = "usbser";
    } else {
      device.hasService = DriverName(folder, &device.service);
    }
    set->devices.push_back(device);
  }
  closedir(dir);
  std::sort(set->devices.begin(), set->devices.end(), NaturalLess);

  // Built-in ports keep their own numbers; USB devices come after the highest of them.
  unsigned long next = 1;
  for (SysfsDevice& device : set->devices) {
    if (device.kind != kTtyS) continue;
    device.friendlyName = WithComNumber("Communications Port", device.number + 1);
    next = std::max(next, device.number + 2);
  }
  for (TtyKind kind : {kTtyAcm, kTtyUsb}) {
    for (SysfsDevice& device : set->devices) {
      if (device.kind != kind) continue;
      device.friendlyName = WithComNumber(
          kind == kTtyAcm ? "USB Serial Device" : "USB Serial Port", next++);
    }
  }
  return set;
}

bool SameGuid(const DeviceClassGuid& a, const DeviceClassGuid& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

bool ValidSet(DeviceInfoSet set) { return set != nullptr && set != InvalidDeviceInfoSet(); }

DeviceInfoSet SysfsGetClassDevs(const DeviceClassGuid* classGuid, const char* /*enumerator*/,
                                void* /*parentWindow*/, uint32_t /*flags*/) {
  // Only present devices exist here, and only the ports class has any.
  if (classGuid == nullptr || !SameGuid(*classGuid, kPortsClassGuid)) {
    return static_cast<DeviceInfoSet>(new SysfsDeviceSet);
  }
  return static_cast<DeviceInfoSet>(ReadPortDevices());
}

int SysfsEnumDeviceInfo(DeviceInfoSet set, uint32_t index, DeviceRecord* record) {
  if (!ValidSet(set)) {
    lastError = kErrorInvalidHandle;
    return 0;
  }
  if (record == nullptr || record->size != sizeof(DeviceRecord)) {
    lastError = kErrorInvalidUserBuffer;
    return 0;
  }
  const SysfsDeviceSet* devices = static_cast<const SysfsDeviceSet*>(set);
  if (index >= devices->devices.size()) {
    lastError = kErrorNoMoreItems;
    return 0;
  }
  record->classGuid = kPortsClassGuid;
  record->devInst = index;
  record->reserved = 0;
  return 1;
}

int SysfsGetDeviceRegistryProperty(DeviceInfoSet set, DeviceRecord* record, uint32_t property,
                                   uint32_t* dataType, uint8_t* buffer, uint32_t bufferSize,
                                   uint32_t* requiredSize) {
  if (!ValidSet(set)) {
    lastError = kErrorInvalidHandle;
    return 0;
  }
  const SysfsDeviceSet* devices = static_cast<const SysfsDeviceSet*>(set);
  if (record == nullptr || record->size != sizeof(DeviceRecord) ||
      record->devInst >= devices->devices.size()) {
    lastError = kErrorInvalidData;
    return 0;
  }
  const SysfsDevice& device = devices->devices[record->devInst];
  const std::string* text = nullptr;
  if (property == kSpdrpService && device.hasService) text = &device.service;
  if (property == kSpdrpFriendlyName) text = &device.friendlyName;
  if (text == nullptr) {
    lastError = kErrorInvalidData;
    return 0;
  }
  const uint32_t required = static_cast<uint32_t>(text->size() + 1);
  if (requiredSize != nullptr) *requiredSize = required;
  if (buffer == nullptr || bufferSize < required) {
    lastError = kErrorInsufficientBuffer;
    return 0;
  }
  std::memcpy(buffer, text->c_str(), required);
  if (dataType != nullptr) *dataType = kRegSz;
  return 1;
}

int SysfsDestroyDeviceInfoList(DeviceInfoSet set) {
  if (!ValidSet(set)) {
    lastError = kErrorInvalidHandle;
    return 0;
  }
  delete static_cast<SysfsDeviceSet*>(set);
  return 1;
}

uint32_t SysfsGetLastError() { return lastError; }

void* HeapAlloc(uint32_t flags, size_t bytes) {
  if (bytes == 0) bytes = 1;
  return (flags & kLmemZeroInit) != 0 ? std::calloc(bytes, 1) : std::malloc(bytes);
}

void* HeapFree(void* memory) {
  std::free(memory);
  return nullptr;
}

}  // namespace

DeviceSetupApi deviceSetupApi = {SysfsGetClassDevs,     SysfsEnumDeviceInfo,
                                 SysfsGetDeviceRegistryProperty,
                                 SysfsDestroyDeviceInfoList,
                                 SysfsGetLastError,     HeapAlloc,
                                 HeapFree};

}  // namespace platform
