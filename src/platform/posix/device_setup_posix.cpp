// The device installation service in SetupAPI's shape, over the ports of the sysfs scan.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/device_setup.h"
#include "platform/posix/sysfs_ports.h"

namespace platform {

namespace {

const uint32_t kErrorInvalidUserBuffer = 1784;

typedef std::vector<posix::SysfsPort> PortList;

uint32_t lastError = 0;

int Fail(uint32_t error) {
  lastError = error;
  return 0;
}

bool SameGuid(const DeviceClassGuid& a, const DeviceClassGuid& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

bool ValidSet(DeviceInfoSet set) { return set != nullptr && set != InvalidDeviceInfoSet(); }

DeviceInfoSet SysfsGetClassDevs(const DeviceClassGuid* classGuid, const char* /*enumerator*/,
                                void* /*parentWindow*/, uint32_t /*flags*/) {
  // Only present devices exist here, and only the ports class has any.
  const bool ports = classGuid != nullptr && SameGuid(*classGuid, kPortsClassGuid);
  return static_cast<DeviceInfoSet>(new PortList(ports ? posix::ScanSysfsPorts() : PortList()));
}

int SysfsEnumDeviceInfo(DeviceInfoSet set, uint32_t index, DeviceRecord* record) {
  if (!ValidSet(set)) return Fail(kErrorInvalidHandle);
  if (record == nullptr || record->size != sizeof(DeviceRecord)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  if (index >= static_cast<const PortList*>(set)->size()) return Fail(kErrorNoMoreItems);
  record->classGuid = kPortsClassGuid;
  record->devInst = index;
  record->reserved = 0;
  return 1;
}

int SysfsGetDeviceRegistryProperty(DeviceInfoSet set, DeviceRecord* record, uint32_t property,
                                   uint32_t* dataType, uint8_t* buffer, uint32_t bufferSize,
                                   uint32_t* requiredSize) {
  if (!ValidSet(set)) return Fail(kErrorInvalidHandle);
  const PortList& ports = *static_cast<const PortList*>(set);
  if (record == nullptr || record->size != sizeof(DeviceRecord) ||
      record->devInst >= ports.size()) {
    return Fail(kErrorInvalidData);
  }
  const posix::SysfsPort& port = ports[record->devInst];
  const std::string* text = nullptr;
  if (property == kSpdrpService && !port.service.empty()) text = &port.service;
  if (property == kSpdrpFriendlyName) text = &port.friendlyName;
  if (text == nullptr) return Fail(kErrorInvalidData);
  const uint32_t required = static_cast<uint32_t>(text->size() + 1);
  if (requiredSize != nullptr) *requiredSize = required;
  if (buffer == nullptr || bufferSize < required) return Fail(kErrorInsufficientBuffer);
  std::memcpy(buffer, text->c_str(), required);
  if (dataType != nullptr) *dataType = kRegSz;
  return 1;
}

int SysfsDestroyDeviceInfoList(DeviceInfoSet set) {
  if (!ValidSet(set)) return Fail(kErrorInvalidHandle);
  delete static_cast<PortList*>(set);
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
