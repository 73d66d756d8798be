// Driver services that an administrator names for probing, beside those whose name holds
// "Serial" or "usbser". Probing sends bytes to whatever device is on a port (a modem, an
// uninterruptible power supply, a GPS receiver), so the drivers of USB-serial adapters are
// not probed unless named: in the environment variable TELMAR_SETUP_SERIAL_SERVICES or, on
// Windows, in the value SerialServices of the settings key (platform/settings.h). Names are
// separated by commas or semicolons, blanks around them are ignored, and each is matched
// against the whole service name without regard to case, as Windows matches service names.
#ifndef TELMAR_DISCOVERY_SERIAL_SERVICES_H
#define TELMAR_DISCOVERY_SERIAL_SERVICES_H

#include <cstddef>

const int kMostNamedServices = 32;
// A Windows service name has at most 256 characters.
const size_t kServiceNameSize = 257;
// Room for the setting's text, terminator included: a longer setting is ignored whole.
const size_t kServicesSettingSize = 4096;
// Room for the trace's list of the names kept.
const size_t kTraceListSize = 512;

class NamedServices {
 public:
  NamedServices();

  // Reads the setting, then parses it as Parse does. Traces where it comes from and what it
  // names; a setting that cannot be used is ignored, and the trace says why.
  void Read();

  // Takes the names of `text`, up to kMostNamedServices of them. Empty entries, names too
  // long for a service, names holding a byte outside printable ASCII and names beyond the
  // last one kept are ignored; the trace counts them. A name given twice is kept once.
  void Parse(const char* text);

  // True when `service` is one of the names.
  bool Names(const char* service) const;

  int Count() const { return count_; }
  const char* Name(int index) const { return names_[index]; }
  // Where the names come from, for the trace ("" when nowhere).
  const char* Origin() const { return origin_; }

 private:
  int count_;
  char names_[kMostNamedServices][kServiceNameSize];
  const char* origin_;
};

// True when `service` is the driver of a common USB-serial adapter, which is probed only when
// named: the trace then says how to name it.
bool IsAdapterDriver(const char* service);

// The places that may name services, as the trace and the administrators' guide call them.
const char* NamedServicesPlaces();

#endif
