#include <windows.h>
#include <setupapi.h>

#include "platform/device_setup.h"

namespace platform {

static_assert(sizeof(DeviceRecord) == sizeof(SP_DEVINFO_DATA), "DeviceRecord is SP_DEVINFO_DATA");
static_assert(sizeof(DeviceClassGuid) == sizeof(GUID), "DeviceClassGuid is a GUID");

namespace {

DeviceInfoSet WindowsGetClassDevs(const DeviceClassGuid* classGuid, const char* enumerator,
                                  void* parentWindow, uint32_t flags) {
  HDEVINFO set = SetupDiGetClassDevsA(reinterpret_cast<const GUID*>(classGuid), enumerator,
                                      static_cast<HWND>(parentWindow), flags);
  return static_cast<DeviceInfoSet>(set);
}

int WindowsEnumDeviceInfo(DeviceInfoSet set, uint32_t index, DeviceRecord* record) {
  return SetupDiEnumDeviceInfo(static_cast<HDEVINFO>(set), index,
                               reinterpret_cast<SP_DEVINFO_DATA*>(record))
             ? 1
             : 0;
}

int WindowsGetDeviceRegistryProperty(DeviceInfoSet set, DeviceRecord* record,
                                     uint32_t property, uint32_t* dataType, uint8_t* buffer,
                                     uint32_t bufferSize, uint32_t* requiredSize) {
  DWORD type = 0;
  DWORD required = requiredSize != nullptr ? *requiredSize : 0;
  BOOL ok = SetupDiGetDeviceRegistryPropertyA(
      static_cast<HDEVINFO>(set), reinterpret_cast<SP_DEVINFO_DATA*>(record), property, &type,
      buffer, bufferSize, &required);
  if (dataType != nullptr) *dataType = type;
  if (requiredSize != nullptr) *requiredSize = required;
  return ok ? 1 : 0;
}

int WindowsDestroyDeviceInfoList(DeviceInfoSet set) {
  return SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set)) ? 1 : 0;
}

uint32_t WindowsGetLastError() { return GetLastError(); }

void* WindowsLocalAlloc(uint32_t flags, size_t bytes) {
  return reinterpret_cast<void*>(LocalAlloc(flags, bytes));
}

void* WindowsLocalFree(void* memory) {
  return reinterpret_cast<void*>(LocalFree(reinterpret_cast<HLOCAL>(memory)));
}

}  // namespace

DeviceSetupApi deviceSetupApi = {WindowsGetClassDevs,
                                 WindowsEnumDeviceInfo,
                                 WindowsGetDeviceRegistryProperty,
                                 WindowsDestroyDeviceInfoList,
                                 WindowsGetLastError,
                                 WindowsLocalAlloc,
                                 WindowsLocalFree};

}  // namespace platform
