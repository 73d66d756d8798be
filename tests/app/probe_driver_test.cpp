#include "app/probe_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/fake_workstation.h"
#include "discovery/pcsc_reader_list.h"
#include "serial/serial_reader_link.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Runs the driver on the scripted workstation and returns the calls made to the writer,
// in order.
std::vector<std::string> RunAndListWriterCalls() {
  workstation.calls.clear();
  SerialParamFile paramFile;
  SerialReaderLink link(paramFile);
  PcscReaderList pcscReaders;
  EXPECT_EQ(0, RunProbeDriver(link, pcscReaders));
  std::vector<std::string> writerCalls;
  for (const std::string& call : workstation.calls) {
    if (call.rfind("Write", 0) == 0 || call.rfind("Add", 0) == 0 || call.rfind("Set", 0) == 0 ||
        call.rfind("Keep", 0) == 0) {
      if (call.rfind("SetPort", 0) != 0 && call.rfind("SetSpeed", 0) != 0) {
        writerCalls.push_back(call);
      }
    }
  }
  return writerCalls;
}

// The calls that reach the serial ports, and the pauses between them, in order.
std::vector<std::string> PortCalls() {
  std::vector<std::string> calls;
  for (const std::string& call : workstation.calls) {
    for (const char* prefix : {"SetPort", "SetSpeed", "Connect", "Send", "Sleep"}) {
      if (call.rfind(prefix, 0) == 0) calls.push_back(call);
    }
  }
  return calls;
}

size_t CountCalls(const std::string& prefix) {
  return std::count_if(workstation.calls.begin(), workstation.calls.end(),
                       [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
}

class ProbeDriver : public ::testing::Test {
 protected:
  void SetUp() override { workstation = FakeWorkstation(); }
};

TEST_F(ProbeDriver, NoPortAndNoReaderWritesNothing) {
  EXPECT_THAT(RunAndListWriterCalls(), IsEmpty());
}

TEST_F(ProbeDriver, ReaderAnsweringOnlyAt9600) {
  workstation.comPorts = {1};
  workstation.readers[1] = {1};
  EXPECT_THAT(RunAndListWriterCalls(),
              ElementsAre("WriteQlpProtocol", "AddSerialChannel 1 9600", "SetChannelCount 1"));
  // What the port sees: 19200 first, then 9600, each try followed by the pause.
  EXPECT_THAT(PortCalls(), ElementsAre("SetPort 1", "SetSpeed 2", "Connect", "Sleep 100",
                                       "SetSpeed 1", "Connect", "Send", "Sleep 100"));
}

TEST_F(ProbeDriver, ReaderAnsweringAt19200IsNotTriedAt9600) {
  workstation.comPorts = {7};
  workstation.readers[7] = {1, 2};
  EXPECT_THAT(RunAndListWriterCalls(),
              ElementsAre("WriteQlpProtocol", "AddSerialChannel 7 19200", "SetChannelCount 1"));
  EXPECT_EQ(1u, CountCalls("SetSpeed"));
  EXPECT_EQ(1u, CountCalls("Sleep"));
}

TEST_F(ProbeDriver, TwoPcscReadersOnly) {
  workstation.comPorts = {1, 2};
  workstation.pcscReaders = {"Reader A", "Reader B"};
  EXPECT_THAT(RunAndListWriterCalls(),
              ElementsAre("WritePcscProtocol", "AddPcscChannel Reader A",
                          "AddPcscChannel Reader B", "SetChannelList", "SetChannelCount 2"));
  // Two ports without readers: two tries and two pauses each.
  EXPECT_EQ(4u, CountCalls("Connect"));
  EXPECT_EQ(4u, CountCalls("Sleep 100"));
  EXPECT_EQ(0u, CountCalls("Send"));
}

TEST_F(ProbeDriver, ProtocolSectionsComeWithTheFirstSerialReader) {
  workstation.comPorts = {1, 4, 3};
  workstation.readers[3] = {2};
  workstation.readers[1] = {1};
  workstation.pcscReaders = {"Reader A"};
  EXPECT_THAT(RunAndListWriterCalls(),
              ElementsAre("WriteQlpProtocol", "WritePcscProtocol", "AddSerialChannel 1 9600",
                          "AddSerialChannel 3 19200", "WritePcscProtocol",
                          "AddPcscChannel Reader A", "SetChannelList", "SetChannelCount 3"));
}

// Whatever made the link unusable, no port is probed and the PC/SC readers are written. A
// failure of the program's own parameter file, unlike a missing library, also says that the
// file lacks the serial readers an earlier one may list.
TEST_F(ProbeDriver, UnusableLinkProbesNoPortButWritesPcscReaders) {
  for (uint16_t status : {LIBRARY_UNUSABLE, PARAM_FILE_ERROR, PARAM_BAD_PAD_STATION}) {
    SCOPED_TRACE(status);
    workstation = FakeWorkstation();
    workstation.linkStatus = status;
    workstation.comPorts = {3};
    workstation.readers[3] = {2};
    workstation.pcscReaders = {"Reader A"};
    std::vector<std::string> expected = {"WritePcscProtocol", "AddPcscChannel Reader A",
                                         "SetChannelList", "SetChannelCount 1"};
    if (status != LIBRARY_UNUSABLE) {
      expected.insert(expected.begin(), "KeepEarlierFile the new one would lack its serial "
                                        "readers: the serial ports were not probed: "
                                        "parameter file status " + std::to_string(status));
    }
    EXPECT_EQ(expected, RunAndListWriterCalls());
    EXPECT_EQ(0u, CountCalls("EnumerateComPorts"));
    EXPECT_EQ(0u, CountCalls("Connect"));
    EXPECT_EQ(0u, CountCalls("Sleep"));
  }
}

// A port another program holds is not probed; the earlier file is kept only when it lists a
// serial reader there, which the new one would lack.
TEST_F(ProbeDriver, PortInUseIsNotProbedAndKeepsAnEarlierFileThatListsIt) {
  const std::string keep = "KeepEarlierFile the new one could lack the reader on COM2: the port "
                           "is in use by another program";
  struct Case {
    std::set<int32_t> earlier;
    std::vector<std::string> expected;
  } cases[] = {
      {{1, 2}, {keep, "WriteQlpProtocol", "AddSerialChannel 1 19200", "SetChannelCount 1"}},
      {{1}, {"WriteQlpProtocol", "AddSerialChannel 1 19200", "SetChannelCount 1"}},
  };
  for (const Case& c : cases) {
    workstation = FakeWorkstation();
    workstation.comPorts = {2, 1};
    workstation.readers[1] = {2};
    workstation.readers[2] = {2};
    workstation.portsInUse = {2};
    workstation.earlierSerialPorts = c.earlier;
    EXPECT_EQ(c.expected, RunAndListWriterCalls());
    EXPECT_EQ(0u, CountCalls("SetPort 2"));
  }
}

TEST_F(ProbeDriver, PortsAreProbedInDiscoveryOrderWithDuplicatesKept) {
  workstation.comPorts = {5, 2, 5};
  workstation.readers[5] = {2};
  EXPECT_THAT(RunAndListWriterCalls(),
              ElementsAre("WriteQlpProtocol", "AddSerialChannel 5 19200",
                          "AddSerialChannel 5 19200", "SetChannelCount 2"));
  std::vector<std::string> ports;
  for (const std::string& call : workstation.calls) {
    if (call.rfind("SetPort", 0) == 0) ports.push_back(call);
  }
  EXPECT_THAT(ports, ElementsAre("SetPort 5", "SetPort 2", "SetPort 5"));
}

TEST_F(ProbeDriver, PortTheLibraryCannotNameIsNotProbed) {
  // The library takes a one-byte port number: COM260 would reach COM4.
  workstation.comPorts = {260, -1, 4, 255};
  workstation.readers[4] = {2};
  workstation.readers[255] = {2};
  EXPECT_THAT(RunAndListWriterCalls(),
              ElementsAre("WriteQlpProtocol", "AddSerialChannel 4 19200",
                          "AddSerialChannel 255 19200", "SetChannelCount 2"));
  EXPECT_EQ(0u, CountCalls("SetPort 260"));
  EXPECT_EQ(2u, CountCalls("SetPort"));
}

TEST_F(ProbeDriver, EveryPortCostsAtMostTwoTriesAndTwoPauses) {
  for (int32_t port = 1; port <= 128; ++port) workstation.comPorts.push_back(port);
  workstation.readers[64] = {1};
  RunAndListWriterCalls();
  EXPECT_EQ(256u, CountCalls("Connect"));
  EXPECT_EQ(256u, CountCalls("Sleep 100"));
  EXPECT_EQ(1u, CountCalls("Send"));
}

}  // namespace
