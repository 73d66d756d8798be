// Link-time stand-ins for everything the probe driver calls.
#include <string>

#include "app/fake_workstation.h"
#include "config/manager_config_writer.h"
#include "discovery/com_ports.h"
#include "discovery/pcsc_reader_list.h"
#include "platform/serial_port.h"
#include "platform/sleep.h"
#include "serial/probe_command.h"
#include "serial/serial_reader_link.h"

FakeWorkstation workstation;

namespace {

void Record(const std::string& call) { workstation.calls.push_back(call); }

int32_t selectedPort = -1;
int32_t selectedSpeed = 0;
bool connected = false;

bool ReaderAnswers() {
  auto reader = workstation.readers.find(selectedPort);
  return reader != workstation.readers.end() && reader->second.count(selectedSpeed) != 0;
}

}  // namespace

SerialParamFile::SerialParamFile() : path(), file(path) {}
SerialParamFile::~SerialParamFile() {}

SerialReaderLink::SerialReaderLink(SerialParamFile& file)
    : generation(1), status(workstation.linkStatus), framing(), protocol(), paramFile(file) {}
void SerialReaderLink::SetPort(int32_t port) {
  selectedPort = port;
  Record("SetPort " + std::to_string(port));
}
void SerialReaderLink::SetSpeed(int32_t multiplier) {
  selectedSpeed = multiplier;
  Record("SetSpeed " + std::to_string(multiplier));
}
uint16_t SerialReaderLink::Connect() {
  Record("Connect");
  connected = ReaderAnswers();
  return connected ? 0 : 1;
}
uint16_t ProbeCommand::Send() {
  Record("Send");
  return connected && ReaderAnswers() ? 0 : 2;
}

PcscReaderList::PcscReaderList() {}
PcscReaderList::~PcscReaderList() {}
int32_t PcscReaderList::GetCount() const {
  return static_cast<int32_t>(workstation.pcscReaders.size());
}
const char* PcscReaderList::GetName(int32_t i) const {
  if (i < 0 || i >= GetCount()) return nullptr;
  return workstation.pcscReaders[i].c_str();
}

int32_t EnumerateComPorts(ComPortList& list) {
  Record("EnumerateComPorts");
  int32_t count = 0;
  for (int32_t port : workstation.comPorts) {
    if (count == kComPortListSize) break;
    list[count++] = port;
  }
  return count;
}

bool platform::PortInUse(int32_t port) { return workstation.portsInUse.count(port) != 0; }

void platform::SleepMilliseconds(unsigned milliseconds) {
  Record("Sleep " + std::to_string(milliseconds));
}

ManagerConfigWriter::ManagerConfigWriter() : stream(configStream) {}
ManagerConfigWriter::~ManagerConfigWriter() {}
void ManagerConfigWriter::WriteQlpProtocol() { Record("WriteQlpProtocol"); }
void ManagerConfigWriter::WritePcscProtocol() { Record("WritePcscProtocol"); }
void ManagerConfigWriter::AddSerialChannel(int32_t port, int32_t baud) {
  Record("AddSerialChannel " + std::to_string(port) + " " + std::to_string(baud));
}
void ManagerConfigWriter::AddPcscChannel(const char* readerName) {
  Record(std::string("AddPcscChannel ") + readerName);
}
uint16_t ManagerConfigWriter::SetChannelList() {
  Record("SetChannelList");
  return 0;
}
void ManagerConfigWriter::KeepEarlierFile(const char* why) {
  Record(std::string("KeepEarlierFile ") + why);
}
bool ManagerConfigWriter::EarlierFileListsSerialReader(int32_t port) const {
  return workstation.earlierSerialPorts.count(port) != 0;
}
uint16_t ManagerConfigWriter::SetChannelCount(int32_t total) {
  Record("SetChannelCount " + std::to_string(total));
  return 0;
}
