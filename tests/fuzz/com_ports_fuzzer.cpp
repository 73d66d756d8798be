// COM port discovery: the friendly-name parse, and the whole enumeration against a
// scripted device installation service.
//
// Input, read twice:
// 1. as one friendly name (cut at its first NUL and to 511 characters), parsed by
//    PortNumberFromFriendlyName and compared with a plain reading of the rule;
// 2. as a script of the service:
//      byte      flags: bit 0 the device list cannot be opened, bit 1 the enumeration
//                ends with an error other than "no more items"
//      devices, until the input ends (at most 200), each:
//        byte    bit 0 service readable, bit 1 friendly name readable,
//                bits 2-4 number of scripted sizes
//        u32 ... the scripted sizes: reported, with "insufficient buffer", by the
//                device's next property calls before any true answer
//        byte    length of the service data, then that many bytes
//        u16     length of the friendly-name data (modulo 1024), then those bytes
//    Property data are raw bytes: they may hold NULs, or lack the final one, as
//    registry data can.
//
// 3. as the text of the serial services setting, parsed by NamedServices::Parse: at most
//    32 names are kept, each a piece of the input between separators, without blanks at
//    its ends, of printable ASCII, shorter than 257 characters, and none twice.
//
// Checked: no property buffer is written or read past its size (AddressSanitizer); the
// count lies in 0 to 128 and, after a successful enumeration, the rest of the list is
// zero (all of it when the device list cannot be opened); every buffer handed out is
// released once and only buffers handed out are released; the device list is destroyed
// once when it was opened, never otherwise; and with honest sizes the list holds exactly
// the numbers of the candidate devices, in order, at most 128.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <set>
#include <string>
#include <vector>

#include "discovery/com_ports.h"
#include "discovery/serial_services.h"
#include "fuzz_support.h"

namespace {

const size_t kMostDevices = 200;
// A local heap that refuses what a 32-bit process could not get in one piece anyway.
const size_t kLargestAllocation = 1 << 20;

struct Device {
  bool serviceReadable;
  bool friendlyReadable;
  std::vector<uint32_t> scriptedSizes;  // consumed from the front
  size_t nextScripted;
  std::string service;
  std::string friendlyName;
};

struct Service {
  bool openFails;
  uint32_t endError;
  std::vector<Device> devices;
  uint32_t lastError;
  std::set<void*> live;
  int destroyCalls;
};

Service* service = nullptr;
int listToken;

platform::DeviceInfoSet GetClassDevs(const platform::DeviceClassGuid*, const char*, void*,
                                     uint32_t) {
  if (service->openFails) {
    service->lastError = platform::kErrorInvalidData;
    return platform::InvalidDeviceInfoSet();
  }
  return &listToken;
}

int EnumDeviceInfo(platform::DeviceInfoSet set, uint32_t index, platform::DeviceRecord* record) {
  if (set != &listToken) {
    service->lastError = platform::kErrorInvalidHandle;
    return 0;
  }
  FUZZ_REQUIRE(record->size == sizeof(platform::DeviceRecord));
  if (index >= service->devices.size()) {
    service->lastError = service->endError;
    return 0;
  }
  record->devInst = index;
  return 1;
}

int GetProperty(platform::DeviceInfoSet set, platform::DeviceRecord* record, uint32_t property,
                uint32_t* dataType, uint8_t* buffer, uint32_t bufferSize, uint32_t* required) {
  FUZZ_REQUIRE(set == &listToken);
  FUZZ_REQUIRE(record->devInst < service->devices.size());
  FUZZ_REQUIRE(property == platform::kSpdrpService || property == platform::kSpdrpFriendlyName);
  FUZZ_REQUIRE(buffer != nullptr || bufferSize == 0);
  Device& device = service->devices[record->devInst];
  const bool readable =
      property == platform::kSpdrpService ? device.serviceReadable : device.friendlyReadable;
  if (!readable) {
    service->lastError = platform::kErrorInvalidData;
    return 0;
  }
  if (device.nextScripted < device.scriptedSizes.size()) {
    *required = device.scriptedSizes[device.nextScripted++];
    service->lastError = platform::kErrorInsufficientBuffer;
    return 0;
  }
  const std::string& data =
      property == platform::kSpdrpService ? device.service : device.friendlyName;
  const uint32_t size = static_cast<uint32_t>(data.size());
  if (dataType != nullptr) *dataType = platform::kRegSz;
  *required = size;
  if (bufferSize < size) {
    service->lastError = platform::kErrorInsufficientBuffer;
    return 0;
  }
  // The block handed in must hold the size the caller claims (AddressSanitizer).
  if (bufferSize > 0) std::memset(buffer, 0x5A, bufferSize);
  if (size > 0) std::memcpy(buffer, data.data(), size);
  return 1;
}

int DestroyDeviceInfoList(platform::DeviceInfoSet set) {
  FUZZ_REQUIRE(set == &listToken);
  ++service->destroyCalls;
  return 1;
}

uint32_t GetLastError() { return service->lastError; }

void* LocalAlloc(uint32_t flags, size_t bytes) {
  FUZZ_REQUIRE(flags == platform::kLmemZeroInit);
  if (bytes == 0 || bytes > kLargestAllocation) return nullptr;
  void* memory = std::calloc(bytes, 1);
  if (memory != nullptr) service->live.insert(memory);
  return memory;
}

void* LocalFree(void* memory) {
  FUZZ_REQUIRE(service->live.erase(memory) == 1);
  std::free(memory);
  return nullptr;
}

// The rule read plainly: the text after the first "COM" up to the first ")" after it,
// converted as decimal with its low 32 bits kept.
bool ExpectedPortNumber(const std::string& name, int32_t* number) {
  const size_t com = name.find("COM");
  if (com == std::string::npos) return false;
  const std::string rest = name.substr(com + 3);
  if (rest.empty()) return false;
  const size_t close = rest.find(')');
  if (close == std::string::npos) return false;
  size_t at = 0;
  while (at < close && std::strchr(" \t\n\v\f\r", rest[at]) != nullptr) ++at;
  bool negative = false;
  if (at < close && (rest[at] == '+' || rest[at] == '-')) negative = rest[at++] == '-';
  uint32_t value = 0;
  while (at < close && rest[at] >= '0' && rest[at] <= '9') value = value * 10u + (rest[at++] - '0');
  *number = static_cast<int32_t>(negative ? 0u - value : value);
  return true;
}

// A property's text as the program sees it: the data up to its first NUL.
std::string AsText(const std::string& data) { return data.substr(0, data.find('\0')); }

void CheckFriendlyName(const uint8_t* data, size_t size) {
  std::string name(reinterpret_cast<const char*>(data), size);
  name = AsText(name).substr(0, 511);
  int32_t expected = 0;
  const bool parses = ExpectedPortNumber(name, &expected);
  int32_t number = -7;
  FUZZ_REQUIRE(PortNumberFromFriendlyName(name.c_str(), &number) == parses);
  if (parses) {
    FUZZ_REQUIRE(number == expected);
  } else {
    FUZZ_REQUIRE(number == -7);
  }
}

Service ReadScript(const uint8_t* data, size_t size) {
  fuzz_support::InputCursor input(data, size);
  Service script = {};
  const uint8_t flags = input.Byte();
  script.openFails = (flags & 1) != 0;
  script.endError = (flags & 2) ? platform::kErrorInvalidData : platform::kErrorNoMoreItems;
  while (!input.AtEnd() && script.devices.size() < kMostDevices) {
    Device device = {};
    const uint8_t deviceFlags = input.Byte();
    device.serviceReadable = (deviceFlags & 1) != 0;
    device.friendlyReadable = (deviceFlags & 2) != 0;
    for (int i = (deviceFlags >> 2) & 7; i > 0; --i) device.scriptedSizes.push_back(input.U32());
    device.service = input.Bytes(input.Byte());
    device.friendlyName = input.Bytes(input.U16() % 1024);
    script.devices.push_back(device);
  }
  return script;
}

void CheckNamedServices(const uint8_t* data, size_t size) {
  const std::string text = AsText(std::string(reinterpret_cast<const char*>(data), size));
  NamedServices named;
  named.Parse(text.c_str());
  FUZZ_REQUIRE(named.Count() >= 0 && named.Count() <= kMostNamedServices);
  for (int i = 0; i < named.Count(); ++i) {
    const std::string name = named.Name(i);
    FUZZ_REQUIRE(!name.empty() && name.size() < kServiceNameSize);
    FUZZ_REQUIRE(name.front() != ' ' && name.front() != '\t' && name.back() != ' ' &&
                 name.back() != '\t');
    for (char c : name) FUZZ_REQUIRE(c >= 0x20 && c <= 0x7E && c != ',' && c != ';');
    FUZZ_REQUIRE(text.find(name) != std::string::npos);
    FUZZ_REQUIRE(named.Names(name.c_str()));
    for (int j = 0; j < i; ++j) {
      FUZZ_REQUIRE(strcasecmp(named.Name(j), name.c_str()) != 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckFriendlyName(data, size);
  CheckNamedServices(data, size);

  Service script = ReadScript(data, size);
  service = &script;
  const platform::DeviceSetupApi saved = platform::deviceSetupApi;
  platform::deviceSetupApi = {GetClassDevs,          EnumDeviceInfo, GetProperty,
                              DestroyDeviceInfoList, GetLastError,   LocalAlloc,
                              LocalFree};
  ComPortList list;
  for (int i = 0; i < kComPortListSize; ++i) list[i] = -1;
  const int32_t count = EnumerateComPorts(list);
  platform::deviceSetupApi = saved;
  service = nullptr;

  FUZZ_REQUIRE(count >= 0 && count <= kComPortListSize);
  FUZZ_REQUIRE(script.live.empty());
  FUZZ_REQUIRE(script.destroyCalls == (script.openFails ? 0 : 1));

  if (script.openFails || script.endError != platform::kErrorNoMoreItems) {
    // A failed enumeration counts nothing, whatever it stored before failing.
    FUZZ_REQUIRE(count == 0);
    if (script.openFails) {
      for (int i = 0; i < kComPortListSize; ++i) FUZZ_REQUIRE(list[i] == 0);
    }
    return 0;
  }
  for (int i = count; i < kComPortListSize; ++i) FUZZ_REQUIRE(list[i] == 0);
  for (const Device& device : script.devices) {
    if (!device.scriptedSizes.empty()) return 0;  // a lying service: no exact answer
  }
  std::vector<int32_t> expected;
  for (const Device& device : script.devices) {
    if (!device.serviceReadable || device.service.empty()) continue;
    const std::string serviceName = AsText(device.service);
    if (serviceName.find("Serial") == std::string::npos &&
        serviceName.find("usbser") == std::string::npos) {
      continue;
    }
    std::string name;
    if (device.friendlyReadable) name = AsText(device.friendlyName).substr(0, 511);
    int32_t number = 0;
    if (ExpectedPortNumber(name, &number) && expected.size() < kComPortListSize) {
      expected.push_back(number);
    }
  }
  FUZZ_REQUIRE(static_cast<size_t>(count) == expected.size());
  for (int32_t i = 0; i < count; ++i) FUZZ_REQUIRE(list[i] == expected[i]);
  return 0;
}
