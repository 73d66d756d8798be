// The COM ports of the workstation that may hold a serial reader: the present devices
// of the ports class whose driver service is the standard serial driver ("Serial") or
// the USB serial driver ("usbser"), or one that an administrator names (serial_services.h),
// each giving the number read from its friendly name.
#ifndef TELMAR_DISCOVERY_COM_PORTS_H
#define TELMAR_DISCOVERY_COM_PORTS_H

#include <cstdint>

#include "platform/device_setup.h"

const int kComPortListSize = 128;
typedef int32_t ComPortList[kComPortListSize];

// Clears `list`, fills it with COM port numbers in the order the service enumerates the
// devices, and returns how many were written (0 to 128). Numbers are neither sorted nor
// checked; two devices with the same number give two entries. Beyond 128 entries further
// numbers are dropped while the enumeration runs to its end. Returns 0 when the
// enumeration fails, whatever was stored before the failure.
int32_t EnumerateComPorts(ComPortList& list);

// The text of one property of a device in a zero-filled buffer from the local heap,
// released by the caller with localFree, or null when the property cannot be read.
char* ReadDeviceProperty(platform::DeviceInfoSet set, platform::DeviceRecord* record,
                         uint32_t property);

// The number that follows the first "COM" of a friendly name, up to the first ")" after
// it ("Port (COM4)" gives 4, "Port (COM)" gives 0). False when there is no "COM", nothing
// after it, or no ")" after it. `name` holds at most 511 characters.
bool PortNumberFromFriendlyName(const char* name, int32_t* number);

#endif
