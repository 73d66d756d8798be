#include "discovery/com_ports.h"

#include <cstddef>
#include <cstring>

#include "discovery/serial_services.h"
#include "platform/decimal.h"
#include "platform/trace.h"

namespace {

const size_t kTextBufferSize = 512;
// Guards against a service that misbehaves: a size whose double would not fit, and a
// required size that keeps changing.
const uint32_t kLargestPropertySize = 0x7FFFFFFFu;
const int kMostPropertyRounds = 16;

// The standard rule: the serial driver and the USB serial driver by their names.
bool IsCandidateService(const char* service) {
  return std::strstr(service, "Serial") != nullptr || std::strstr(service, "usbser") != nullptr;
}

// Copies at most size - 1 characters of `text` into `out`, which is zero-filled first.
void CopyText(const char* text, char* out, size_t size) {
  std::memset(out, 0, size);
  for (size_t i = 0; i < size - 1 && text[i] != '\0'; ++i) out[i] = text[i];
}

}  // namespace

char* ReadDeviceProperty(platform::DeviceInfoSet set, platform::DeviceRecord* record,
                         uint32_t property) {
  const platform::DeviceSetupApi& api = platform::deviceSetupApi;
  uint32_t dataType = 0;
  uint32_t required = 0;
  if (api.getDeviceRegistryProperty(set, record, property, &dataType, nullptr, 0, &required)) {
    return nullptr;
  }
  void* buffer = nullptr;
  int rounds = 0;
  while (api.getLastError() == platform::kErrorInsufficientBuffer) {
    if (buffer != nullptr) {
      api.localFree(buffer);
      buffer = nullptr;
    }
    if (required == 0 || required > kLargestPropertySize || ++rounds > kMostPropertyRounds) {
      return nullptr;
    }
    // Twice the size asked for, zero-filled: the text always ends with a NUL.
    buffer = api.localAlloc(platform::kLmemZeroInit, 2 * static_cast<size_t>(required));
    if (buffer == nullptr) return nullptr;
    const uint32_t size = required;
    if (api.getDeviceRegistryProperty(set, record, property, &dataType,
                                      static_cast<uint8_t*>(buffer), size, &required)) {
      break;
    }
  }
  return static_cast<char*>(buffer);
}

bool PortNumberFromFriendlyName(const char* name, int32_t* number) {
  const char* com = std::strstr(name, "COM");
  if (com == nullptr) return false;
  char rest[kTextBufferSize];
  std::memset(rest, 0, sizeof rest);
  std::strncpy(rest, com + 3, sizeof rest - 1);
  if (rest[0] == '\0') return false;
  char* close = std::strchr(rest, ')');
  if (close == nullptr) return false;
  *close = '\0';
  *number = platform::DecimalNumber(rest);
  return true;
}

int32_t EnumerateComPorts(ComPortList& list) {
  for (int i = 0; i < kComPortListSize; ++i) list[i] = 0;
  int32_t count = 0;

  const platform::DeviceSetupApi& api = platform::deviceSetupApi;
  platform::DeviceInfoSet set =
      api.getClassDevs(&platform::kPortsClassGuid, nullptr, nullptr, platform::kDigcfPresent);

  platform::DeviceRecord record;
  std::memset(&record, 0, sizeof record);
  record.size = sizeof record;
  char friendlyName[kTextBufferSize];
  // The service's name, kept for the trace only.
  char serviceName[kTextBufferSize] = "";
  // The services an administrator names, probed as those of the standard rule are.
  NamedServices named;
  named.Read();

  for (uint32_t index = 0; api.enumDeviceInfo(set, index, &record); ++index) {
    bool candidate = false;
    bool byRule = false;
    serviceName[0] = '\0';
    if (char* service = ReadDeviceProperty(set, &record, platform::kSpdrpService)) {
      byRule = IsCandidateService(service);
      candidate = byRule || named.Names(service);
      CopyText(service, serviceName, sizeof serviceName);
      api.localFree(service);
    }
    // The trace changes the calls made: with it on, the friendly name of a device that is
    // not probed is read too, so that whoever reads the report recognises the device that
    // was passed over. Reading a property changes nothing on the device nor in the list;
    // without the trace, only the names of the devices probed are read.
    if (!candidate && !platform::TraceOn()) continue;

    std::memset(friendlyName, 0, sizeof friendlyName);
    if (char* text = ReadDeviceProperty(set, &record, platform::kSpdrpFriendlyName)) {
      // A longer name is cut to the buffer's 511 characters.
      CopyText(text, friendlyName, sizeof friendlyName);
      api.localFree(text);
    }
    if (!candidate) {
      if (IsAdapterDriver(serviceName)) {
        platform::Trace("port device %u \"%s\": service \"%s\" not accepted: not probed; a "
                        "USB-serial adapter's driver, probed when named in %s",
                        index, friendlyName, serviceName, NamedServicesPlaces());
      } else {
        platform::Trace("port device %u \"%s\": service \"%s\" not accepted: not probed",
                        index, friendlyName, serviceName);
      }
      continue;
    }
    int32_t number = 0;
    if (!PortNumberFromFriendlyName(friendlyName, &number)) {
      platform::Trace("port device %u \"%s\": service \"%s\", no COM number: not probed",
                      index, friendlyName, serviceName);
      continue;
    }
    platform::Trace("port device %u \"%s\": service \"%s\", %s%s, COM%ld: %s", index,
                    friendlyName, serviceName, byRule ? "a serial driver by its name" : "named in ",
                    byRule ? "" : named.Origin(), long(number),
                    count < kComPortListSize ? "listed" : "not probed: the list is full");
    if (count < kComPortListSize) list[count++] = number;
  }

  const uint32_t error = api.getLastError();
  if (set != platform::InvalidDeviceInfoSet() && set != nullptr) api.destroyDeviceInfoList(set);
  if (error == 0 || error == platform::kErrorNoMoreItems) return count;
  platform::Trace("port enumeration failed: error %lu, no port listed",
                  static_cast<unsigned long>(error));
  return 0;
}
