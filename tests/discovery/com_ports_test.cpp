// COM port discovery against a scripted device installation service.
#include "discovery/com_ports.h"

#include <gtest/gtest.h>

#include "discovery/serial_services.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace {

// One device of the ports class; a null text makes that property unreadable.
struct FakeDevice {
  const char* service;
  const char* friendlyName;
};

struct PropertyCall {
  uint32_t index;
  uint32_t property;
  bool withBuffer;
};

struct FakeService {
  std::vector<FakeDevice> devices;
  std::vector<std::string> ownedTexts;  // storage for generated names
  bool openFails = false;
  uint32_t endError = platform::kErrorNoMoreItems;
  // Required sizes reported, with ERROR_INSUFFICIENT_BUFFER, before the real answer.
  std::deque<uint32_t> scriptedRequired;
  // After the sizing call, fail with this error instead of storing the text (0: don't).
  uint32_t failAfterSizing = 0;
  bool allocFails = false;

  uint32_t lastError = 0;
  int openCalls = 0;
  platform::DeviceClassGuid guidSeen = {};
  const char* enumeratorSeen = "unset";
  void* parentSeen = &lastError;
  uint32_t flagsSeen = 0;
  std::vector<uint32_t> enumIndices;
  std::vector<PropertyCall> propertyCalls;
  int liveBuffers = 0;
  std::vector<platform::DeviceInfoSet> destroyed;
};

FakeService* fake = nullptr;
int fakeListToken;

platform::DeviceInfoSet FakeGetClassDevs(const platform::DeviceClassGuid* guid,
                                         const char* enumerator, void* parent, uint32_t flags) {
  ++fake->openCalls;
  fake->guidSeen = *guid;
  fake->enumeratorSeen = enumerator;
  fake->parentSeen = parent;
  fake->flagsSeen = flags;
  return fake->openFails ? platform::InvalidDeviceInfoSet() : &fakeListToken;
}

int FakeEnumDeviceInfo(platform::DeviceInfoSet set, uint32_t index,
                       platform::DeviceRecord* record) {
  fake->enumIndices.push_back(index);
  if (set != &fakeListToken) {
    fake->lastError = platform::kErrorInvalidHandle;
    return 0;
  }
  EXPECT_EQ(sizeof(platform::DeviceRecord), record->size);
  if (index >= fake->devices.size()) {
    fake->lastError = fake->endError;
    return 0;
  }
  record->devInst = index;
  return 1;
}

int FakeGetProperty(platform::DeviceInfoSet set, platform::DeviceRecord* record,
                    uint32_t property, uint32_t* /*dataType*/, uint8_t* buffer,
                    uint32_t bufferSize, uint32_t* requiredSize) {
  EXPECT_EQ(&fakeListToken, set);
  const uint32_t index = record->devInst;
  fake->propertyCalls.push_back({index, property, buffer != nullptr});
  const FakeDevice& device = fake->devices.at(index);
  const char* text =
      property == platform::kSpdrpService ? device.service : device.friendlyName;
  if (text == nullptr) {
    fake->lastError = platform::kErrorInvalidData;
    return 0;
  }
  if (!fake->scriptedRequired.empty()) {
    *requiredSize = fake->scriptedRequired.front();
    fake->scriptedRequired.pop_front();
    fake->lastError = platform::kErrorInsufficientBuffer;
    return 0;
  }
  const uint32_t required = static_cast<uint32_t>(std::strlen(text) + 1);
  if (buffer == nullptr || bufferSize < required) {
    *requiredSize = required;
    fake->lastError = platform::kErrorInsufficientBuffer;
    return 0;
  }
  if (fake->failAfterSizing != 0) {
    fake->lastError = fake->failAfterSizing;
    return 0;
  }
  std::memcpy(buffer, text, required);
  *requiredSize = required;
  return 1;
}

int FakeDestroy(platform::DeviceInfoSet set) {
  fake->destroyed.push_back(set);
  return 1;
}

uint32_t FakeLastError() { return fake->lastError; }

void* FakeLocalAlloc(uint32_t flags, size_t bytes) {
  EXPECT_EQ(platform::kLmemZeroInit, flags);
  if (fake->allocFails) return nullptr;
  ++fake->liveBuffers;
  return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void* FakeLocalFree(void* memory) {
  --fake->liveBuffers;
  std::free(memory);
  return nullptr;
}

class ComPortsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::deviceSetupApi;
    fake = &service_;
    platform::deviceSetupApi = {FakeGetClassDevs, FakeEnumDeviceInfo, FakeGetProperty,
                                FakeDestroy,      FakeLastError,      FakeLocalAlloc,
                                FakeLocalFree};
    for (int i = 0; i < kComPortListSize; ++i) list_[i] = -99;  // must be cleared
  }
  void TearDown() override {
    EXPECT_EQ(0, service_.liveBuffers) << "property buffers not released";
    platform::deviceSetupApi = saved_;
    fake = nullptr;
  }
  void Add(const char* service, const char* friendlyName) {
    service_.devices.push_back({service, friendlyName});
  }
  // Property reads (sizing calls) made for one device, in order.
  std::vector<uint32_t> PropertiesRead(uint32_t index) const {
    std::vector<uint32_t> read;
    for (const PropertyCall& call : service_.propertyCalls) {
      if (call.index == index && !call.withBuffer) read.push_back(call.property);
    }
    return read;
  }
  std::vector<int32_t> Entries(int32_t count) const {
    return std::vector<int32_t>(list_, list_ + count);
  }
  void ExpectClearedFrom(int32_t first) const {
    for (int i = first; i < kComPortListSize; ++i) ASSERT_EQ(0, list_[i]) << "entry " << i;
  }

  FakeService service_;
  platform::DeviceSetupApi saved_;
  ComPortList list_;
};

TEST_F(ComPortsTest, NoDeviceGivesZeroAndTheListIsDestroyed) {
  EXPECT_EQ(0, EnumerateComPorts(list_));
  ExpectClearedFrom(0);
  ASSERT_EQ(1, service_.openCalls);
  EXPECT_EQ(0, std::memcmp(&platform::kPortsClassGuid, &service_.guidSeen,
                           sizeof service_.guidSeen));
  EXPECT_EQ(nullptr, service_.enumeratorSeen);
  EXPECT_EQ(nullptr, service_.parentSeen);
  EXPECT_EQ(platform::kDigcfPresent, service_.flagsSeen);
  EXPECT_EQ(std::vector<uint32_t>{0}, service_.enumIndices);
  ASSERT_EQ(1u, service_.destroyed.size());
  EXPECT_EQ(&fakeListToken, service_.destroyed[0]);
}

TEST_F(ComPortsTest, ListThatFailsToOpenGivesZeroAndIsNotDestroyed) {
  service_.openFails = true;
  EXPECT_EQ(0, EnumerateComPorts(list_));
  ExpectClearedFrom(0);
  EXPECT_TRUE(service_.destroyed.empty());
}

TEST_F(ComPortsTest, DeviceOfAnotherServiceIsSkippedWithoutReadingItsFriendlyName) {
  Add("Parport", "ECP Printer Port (LPT1)");
  Add(nullptr, "Unknown (COM8)");
  Add("Serial", "Communications Port (COM1)");
  ASSERT_EQ(1, EnumerateComPorts(list_));
  EXPECT_EQ(1, list_[0]);
  ExpectClearedFrom(1);
  EXPECT_EQ(std::vector<uint32_t>{platform::kSpdrpService}, PropertiesRead(0));
  EXPECT_EQ(std::vector<uint32_t>{platform::kSpdrpService}, PropertiesRead(1));
  EXPECT_EQ((std::vector<uint32_t>{platform::kSpdrpService, platform::kSpdrpFriendlyName}),
            PropertiesRead(2));
}

TEST_F(ComPortsTest, ServiceMatchIsACaseSensitiveSubstring) {
  Add("SerialEx", "A (COM5)");
  Add("myusbser", "B (COM6)");
  Add("serial", "C (COM7)");
  Add("USBSER", "D (COM8)");
  Add("", "E (COM9)");
  Add("xusbserial", "F (COM10)");
  Add("usbccgp", "G (COM11)");  // other USB drivers: not a serial port
  Add("USBSTOR", "H (COM12)");
  ASSERT_EQ(3, EnumerateComPorts(list_));
  EXPECT_EQ((std::vector<int32_t>{5, 6, 10}), Entries(3));
}

TEST_F(ComPortsTest, ServicesNamedBySettingAreProbedAsWholeNamesWithoutRegardToCase) {
  Add("FTSER2K", "USB Serial Port (COM5)");
  Add("Ser2pl", "Prolific USB-to-Serial Comm Port (COM6)");
  Add("FTSER2KX", "X (COM7)");
  Add("Serial", "Communications Port (COM1)");
  {
    testing_support::ScopedEnv unset("TELMAR_SETUP_SERIAL_SERVICES", nullptr);
    ASSERT_EQ(1, EnumerateComPorts(list_));
    EXPECT_EQ(1, list_[0]);
  }
  testing_support::ScopedEnv named("TELMAR_SETUP_SERIAL_SERVICES", " ftser2k ;Other,,");
  ASSERT_EQ(2, EnumerateComPorts(list_));
  EXPECT_EQ((std::vector<int32_t>{5, 1}), Entries(2));
}

TEST(NamedServices, ParseKeepsWhatItCanUseAndIgnoresTheRest) {
  std::string thousands;
  for (int i = 0; i < 5000; ++i) thousands += "n" + std::to_string(i) + (i % 2 ? ";" : ",");
  struct Case {
    std::string text;
    std::vector<std::string> names;
  } cases[] = {
      {"", {}},
      {" , ;;\t", {}},
      {"FTSER2K; silabser ,CH341SER_A64", {"FTSER2K", "silabser", "CH341SER_A64"}},
      {"a,A; a", {"a"}},  // kept once
      {std::string(256, 'x') + "," + std::string(257, 'y'), {std::string(256, 'x')}},
      {"caf\xe9,ok,tab\tin,nul\x01", {"ok"}},
      {"inner blank", {"inner blank"}},
      {std::string(64 * 1024, 'z'), {}},
      {thousands, {}},
  };
  for (int i = 0; i < kMostNamedServices; ++i) cases[8].names.push_back("n" + std::to_string(i));
  for (const Case& c : cases) {
    NamedServices named;
    named.Parse(c.text.c_str());
    std::vector<std::string> got;
    for (int i = 0; i < named.Count(); ++i) got.push_back(named.Name(i));
    EXPECT_EQ(c.names, got) << c.text.substr(0, 80);
  }
}

TEST(NamedServices, SettingTooLongForItsBufferIsIgnoredWhole) {
  testing_support::ScopedEnv named("TELMAR_SETUP_SERIAL_SERVICES",
                  ("FTSER2K," + std::string(kServicesSettingSize, 'x')).c_str());
  NamedServices services;
  services.Read();
  EXPECT_EQ(0, services.Count());
  EXPECT_FALSE(services.Names("FTSER2K"));
}

TEST_F(ComPortsTest, EntriesFollowDiscoveryOrderUnsortedWithDuplicates) {
  Add("Serial", "Communications Port (COM1)");  // 0
  Add("Parport", "Printer Port (LPT1)");        // 1
  Add("usbser", "USB Serial Device (COM3)");    // 2
  Add("Serial", nullptr);                       // 3: friendly name unreadable
  Add("Parport", "Printer Port (LPT2)");        // 4
  Add("Serial", "Communications Port (COM2)");  // 5
  Add("Serial", "Modem (COM4)");                // 6
  Add("usbser", "Second modem (COM4)");         // 7
  ASSERT_EQ(5, EnumerateComPorts(list_));
  EXPECT_EQ((std::vector<int32_t>{1, 3, 2, 4, 4}), Entries(5));
  ExpectClearedFrom(5);
  EXPECT_EQ(1u, service_.destroyed.size());
}

TEST_F(ComPortsTest, EmptyNumberCountsAsZeroAndMissingParenthesisAsNothing) {
  Add("Serial", "Port (COM)");
  Add("Serial", "COM7");
  Add("Serial", "Port (COM");
  Add("Serial", "Port (LPT1)");
  Add("Serial", "Port (COM 4)");
  ASSERT_EQ(2, EnumerateComPorts(list_));
  EXPECT_EQ((std::vector<int32_t>{0, 4}), Entries(2));
}

TEST_F(ComPortsTest, ErrorOtherThanEndOfListGivesZero) {
  Add("Serial", "Communications Port (COM1)");
  Add("Serial", "Communications Port (COM2)");
  service_.endError = 31;  // ERROR_GEN_FAILURE
  EXPECT_EQ(0, EnumerateComPorts(list_));
  EXPECT_EQ(1u, service_.destroyed.size());
}

TEST_F(ComPortsTest, EndOfListWithoutErrorCodeKeepsTheCount) {
  Add("Serial", "Communications Port (COM2)");
  service_.endError = 0;
  EXPECT_EQ(1, EnumerateComPorts(list_));
  EXPECT_EQ(2, list_[0]);
}

TEST_F(ComPortsTest, NumbersBeyond128AreDroppedAndTheEnumerationRunsToItsEnd) {
  for (int i = 1; i <= 131; ++i) {
    service_.ownedTexts.push_back("Port (COM" + std::to_string(i) + ")");
  }
  for (const std::string& text : service_.ownedTexts) Add("Serial", text.c_str());
  ASSERT_EQ(kComPortListSize, EnumerateComPorts(list_));
  for (int i = 0; i < kComPortListSize; ++i) ASSERT_EQ(i + 1, list_[i]);
  EXPECT_EQ(132u, service_.enumIndices.size());
}

TEST_F(ComPortsTest, NumbersBeyond128StillGiveZeroWhenTheEnumerationFails) {
  for (int i = 1; i <= 130; ++i) Add("Serial", "Port (COM9)");
  service_.endError = 31;
  EXPECT_EQ(0, EnumerateComPorts(list_));
}

TEST_F(ComPortsTest, FriendlyNameLongerThan511CharactersIsCut) {
  const std::string late = std::string(590, 'x') + " (COM5)";   // ")" beyond 511
  const std::string early = "Port (COM6)" + std::string(590, 'y');  // number early
  const std::string edge = std::string(500, 'z') + "(COM77)";  // ")" at position 506
  Add("Serial", late.c_str());
  Add("Serial", early.c_str());
  Add("Serial", edge.c_str());
  ASSERT_EQ(2, EnumerateComPorts(list_));
  EXPECT_EQ((std::vector<int32_t>{6, 77}), Entries(2));
}

TEST_F(ComPortsTest, RequiredSizeThatGrowsBetweenTheCallsIsFollowed) {
  Add("Serial", "Communications Port (COM1)");
  service_.scriptedRequired = {6, 2};  // the service asks for too little, twice
  ASSERT_EQ(1, EnumerateComPorts(list_));
  EXPECT_EQ(1, list_[0]);
}

TEST_F(ComPortsTest, RequiredSizeOfZeroEndsTheReadWithoutBuffer) {
  // A service that keeps asking for 0 bytes must not make the read loop forever.
  service_.devices.push_back({"Serial", "Port (COM1)"});
  platform::DeviceRecord record = {};
  record.size = sizeof record;
  service_.scriptedRequired = {0, 0, 0};
  EXPECT_EQ(nullptr, ReadDeviceProperty(&fakeListToken, &record,
                                                    platform::kSpdrpService));
}

TEST_F(ComPortsTest, FailureAfterSizingGivesTheZeroFilledBufferAndSkipsTheDevice) {
  Add("Serial", "Communications Port (COM1)");
  platform::DeviceRecord record = {};
  record.size = sizeof record;
  service_.failAfterSizing = 31;
  char* text = ReadDeviceProperty(&fakeListToken, &record,
                                             platform::kSpdrpFriendlyName);
  ASSERT_NE(nullptr, text);
  EXPECT_STREQ("", text);
  platform::deviceSetupApi.localFree(text);
  // The empty service name makes no candidate.
  EXPECT_EQ(0, EnumerateComPorts(list_));
}

TEST_F(ComPortsTest, BufferThatCannotBeAllocatedMakesThePropertyUnreadable) {
  Add("Serial", "Communications Port (COM1)");
  service_.allocFails = true;
  EXPECT_EQ(0, EnumerateComPorts(list_));
  EXPECT_EQ(std::vector<uint32_t>{platform::kSpdrpService}, PropertiesRead(0));
}

TEST(PortNumberFromFriendlyName, ReadsTheDecimalNumberUpToTheParenthesis) {
  struct Case {
    const char* name;
    bool found;
    int32_t number;
  } cases[] = {
      {"Communications Port (COM1)", true, 1},
      {"USB Serial Device (COM12)", true, 12},
      {"Port (COM 4)", true, 4},
      {"Port (COM\t-3)", true, -3},
      {"Port (COM+8x)", true, 8},
      {"Port (COMx)", true, 0},
      {"Port (COM)", true, 0},
      {"COM2 bridge (COM9)", true, 2},  // read after the first "COM" only
      {"Port (COM4294967297)", true, 1},  // the low 32 bits
      {"COM7", false, 0},
      {"Port (COM", false, 0},
      {"Port (com3)", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    int32_t number = -12345;
    EXPECT_EQ(c.found, PortNumberFromFriendlyName(c.name, &number)) << c.name;
    if (c.found) {
      EXPECT_EQ(c.number, number) << c.name;
    }
  }
}

}  // namespace
