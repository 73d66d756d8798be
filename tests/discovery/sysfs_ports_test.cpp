// The POSIX device installation service over a simulated sysfs tree, and the COM port
// discovery running on it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "discovery/com_ports.h"
#include "platform/device_setup.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

struct Port {
  std::string service;  // "-" when the property cannot be read
  std::string friendlyName;
};

class SysfsPortsTest : public ::testing::Test {
 protected:
  SysfsPortsTest() : env_("TELMAR_SYSFS", root_.path().c_str()) {}

  // A built-in serial port, present when `type` is non-zero.
  void SerialPort(const std::string& name, const char* type) {
    WriteFile(root_.MakeDir("class/tty/" + name) + "/type", type);
  }
  // A USB tty; `driver` empty leaves it without a driver link.
  void UsbTty(const std::string& name, const std::string& driver) {
    const std::string device = root_.MakeDir("class/tty/" + name + "/device");
    if (!driver.empty()) {
      const std::string target = "../../../../bus/usb-serial/drivers/" + driver;
      ASSERT_EQ(0, symlink(target.c_str(), (device + "/driver").c_str()));
    }
  }

  static std::string Property(platform::DeviceInfoSet set, platform::DeviceRecord* record,
                              uint32_t property) {
    const platform::DeviceSetupApi& api = platform::deviceSetupApi;
    uint8_t buffer[256] = {};
    uint32_t required = 0;
    uint32_t type = 0;
    if (!api.getDeviceRegistryProperty(set, record, property, &type, buffer, sizeof buffer,
                                       &required)) {
      return "-";
    }
    EXPECT_EQ(platform::kRegSz, type);
    return std::string(reinterpret_cast<char*>(buffer));
  }

  // Every device the service reports, in its order.
  static std::vector<Port> Enumerate(uint32_t* endError) {
    const platform::DeviceSetupApi& api = platform::deviceSetupApi;
    platform::DeviceInfoSet set = api.getClassDevs(&platform::kPortsClassGuid, nullptr,
                                                   nullptr, platform::kDigcfPresent);
    std::vector<Port> ports;
    platform::DeviceRecord record = {};
    record.size = sizeof record;
    for (uint32_t i = 0; api.enumDeviceInfo(set, i, &record); ++i) {
      ports.push_back({Property(set, &record, platform::kSpdrpService),
                       Property(set, &record, platform::kSpdrpFriendlyName)});
    }
    *endError = api.getLastError();
    EXPECT_TRUE(api.destroyDeviceInfoList(set));
    return ports;
  }

  TempDir root_;
  ScopedEnv env_;
};

TEST_F(SysfsPortsTest, WorkstationInNaturalNameOrderWithUsbPortsNumberedLast) {
  SerialPort("ttyS0", "4\n");
  SerialPort("ttyS1", "0\n");  // no UART behind it
  SerialPort("ttyS10", "4\n");
  SerialPort("ttyS2", "4\n");
  UsbTty("ttyACM1", "");
  UsbTty("ttyACM0", "cdc_acm");
  UsbTty("ttyUSB1", "usbserial_generic");
  UsbTty("ttyUSB0", "ftdi_sio");
  UsbTty("ttyUSB2", "");
  root_.MakeDir("class/tty/tty0");
  root_.MakeDir("class/tty/ttySx");
  root_.MakeDir("class/tty/ttyprintk");

  uint32_t endError = 0;
  const std::vector<Port> ports = Enumerate(&endError);
  EXPECT_EQ(platform::kErrorNoMoreItems, endError);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"usbser", "USB Serial Device (COM12)"},       // ttyACM0
      {"usbser", "USB Serial Device (COM13)"},       // ttyACM1
      {"Serial", "Communications Port (COM1)"},      // ttyS0
      {"Serial", "Communications Port (COM3)"},      // ttyS2
      {"Serial", "Communications Port (COM11)"},     // ttyS10
      {"ftdi_sio", "USB Serial Port (COM14)"},       // ttyUSB0
      {"usbserial_generic", "USB Serial Port (COM15)"},  // ttyUSB1
      {"-", "USB Serial Port (COM16)"},              // ttyUSB2: no driver
  };
  ASSERT_EQ(expected.size(), ports.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].first, ports[i].service) << i;
    EXPECT_EQ(expected[i].second, ports[i].friendlyName) << i;
  }

  ComPortList list;
  ASSERT_EQ(6, EnumerateComPorts(list));
  EXPECT_EQ((std::vector<int32_t>{12, 13, 1, 3, 11, 15}), std::vector<int32_t>(list, list + 6));
}

TEST_F(SysfsPortsTest, UsbPortsStartAtCom1WithoutBuiltInPorts) {
  SerialPort("ttyS0", "0");
  UsbTty("ttyUSB0", "pl2303");
  UsbTty("ttyACM0", "cdc_acm");
  uint32_t endError = 0;
  const std::vector<Port> ports = Enumerate(&endError);
  ASSERT_EQ(2u, ports.size());
  EXPECT_EQ("USB Serial Device (COM1)", ports[0].friendlyName);
  EXPECT_EQ("USB Serial Port (COM2)", ports[1].friendlyName);
  EXPECT_EQ("pl2303", ports[1].service);
}

TEST_F(SysfsPortsTest, MissingTtyClassIsAnEmptyList) {
  uint32_t endError = 0;
  EXPECT_TRUE(Enumerate(&endError).empty());
  EXPECT_EQ(platform::kErrorNoMoreItems, endError);
  ComPortList list;
  EXPECT_EQ(0, EnumerateComPorts(list));
}

TEST_F(SysfsPortsTest, PropertySizeProtocolOfTheRealService) {
  SerialPort("ttyS3", "4");
  const platform::DeviceSetupApi& api = platform::deviceSetupApi;
  platform::DeviceInfoSet set = api.getClassDevs(&platform::kPortsClassGuid, nullptr, nullptr,
                                                 platform::kDigcfPresent);
  platform::DeviceRecord record = {};
  record.size = sizeof record;
  ASSERT_TRUE(api.enumDeviceInfo(set, 0, &record));

  uint32_t required = 0;
  uint32_t type = 0;
  EXPECT_FALSE(api.getDeviceRegistryProperty(set, &record, platform::kSpdrpFriendlyName, &type,
                                             nullptr, 0, &required));
  EXPECT_EQ(platform::kErrorInsufficientBuffer, api.getLastError());
  const std::string name = "Communications Port (COM4)";
  ASSERT_EQ(name.size() + 1, required);

  std::vector<uint8_t> buffer(required + 4, 0xAA);
  EXPECT_FALSE(api.getDeviceRegistryProperty(set, &record, platform::kSpdrpFriendlyName, &type,
                                             buffer.data(), required - 1, &required));
  EXPECT_EQ(0xAA, buffer[0]) << "nothing stored into a buffer that is too small";
  ASSERT_TRUE(api.getDeviceRegistryProperty(set, &record, platform::kSpdrpFriendlyName, &type,
                                            buffer.data(), required, &required));
  EXPECT_EQ(name, std::string(reinterpret_cast<char*>(buffer.data())));
  EXPECT_EQ(0xAA, buffer[required]) << "nothing stored past the text";

  EXPECT_FALSE(api.getDeviceRegistryProperty(set, &record, 99, &type, buffer.data(),
                                             required, &required));
  EXPECT_NE(platform::kErrorInsufficientBuffer, api.getLastError());
  EXPECT_FALSE(api.enumDeviceInfo(set, 1, &record));
  EXPECT_EQ(platform::kErrorNoMoreItems, api.getLastError());
  EXPECT_TRUE(api.destroyDeviceInfoList(set));
}

TEST_F(SysfsPortsTest, InvalidListFailsEnumerationWithAnError) {
  const platform::DeviceSetupApi& api = platform::deviceSetupApi;
  platform::DeviceRecord record = {};
  record.size = sizeof record;
  EXPECT_FALSE(api.enumDeviceInfo(platform::InvalidDeviceInfoSet(), 0, &record));
  EXPECT_NE(0u, api.getLastError());
  EXPECT_NE(platform::kErrorNoMoreItems, api.getLastError());
}

}  // namespace
