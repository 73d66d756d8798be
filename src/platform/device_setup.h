// The device installation service, as far as the COM port discovery uses it: the
// present devices of one setup class, enumerated by index, two text properties of
// each, and zero-filled buffers from the local heap.
//
// On Windows the table holds SetupAPI itself (SetupDiGetClassDevsA,
// SetupDiEnumDeviceInfo, SetupDiGetDeviceRegistryPropertyA,
// SetupDiDestroyDeviceInfoList, GetLastError, LocalAlloc, LocalFree).
//
// Elsewhere the same calls are answered from the serial ports that Linux sysfs shows
// (posix/sysfs_ports.h says which, and how they are named).
#ifndef TELMAR_PLATFORM_DEVICE_SETUP_H
#define TELMAR_PLATFORM_DEVICE_SETUP_H

#include <cstddef>
#include <cstdint>

namespace platform {

// HDEVINFO.
typedef void* DeviceInfoSet;

// The layout of GUID.
struct DeviceClassGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

// The layout of SP_DEVINFO_DATA; `size` must be set to sizeof(DeviceRecord) before use.
struct DeviceRecord {
  uint32_t size;
  DeviceClassGuid classGuid;
  uint32_t devInst;
  uintptr_t reserved;
};

// The ports (COM & LPT) setup class {4D36E978-E325-11CE-BFC1-08002BE10318}.
const DeviceClassGuid kPortsClassGuid = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

const uint32_t kDigcfPresent = 0x2;
const uint32_t kSpdrpService = 4;
const uint32_t kSpdrpFriendlyName = 12;
const uint32_t kErrorInvalidHandle = 6;
const uint32_t kErrorInvalidData = 13;
const uint32_t kErrorInsufficientBuffer = 122;
const uint32_t kErrorNoMoreItems = 259;
const uint32_t kLmemZeroInit = 0x40;
const uint32_t kRegSz = 1;

// INVALID_HANDLE_VALUE, the failed result of getClassDevs.
inline DeviceInfoSet InvalidDeviceInfoSet() {
  return reinterpret_cast<DeviceInfoSet>(static_cast<intptr_t>(-1));
}

// Booleans are non-zero for true, as the Windows calls return them.
struct DeviceSetupApi {
  DeviceInfoSet (*getClassDevs)(const DeviceClassGuid* classGuid, const char* enumerator,
                                void* parentWindow, uint32_t flags);
  int (*enumDeviceInfo)(DeviceInfoSet set, uint32_t index, DeviceRecord* record);
  int (*getDeviceRegistryProperty)(DeviceInfoSet set, DeviceRecord* record, uint32_t property,
                                   uint32_t* dataType, uint8_t* buffer, uint32_t bufferSize,
                                   uint32_t* requiredSize);
  int (*destroyDeviceInfoList)(DeviceInfoSet set);
  uint32_t (*getLastError)();
  void* (*localAlloc)(uint32_t flags, size_t bytes);
  void* (*localFree)(void* memory);
};

// The service in use: the real one unless a test put another in its place.
extern DeviceSetupApi deviceSetupApi;

}  // namespace platform

#endif
