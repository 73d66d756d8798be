#include "app/probe_driver.h"

#include <cstdio>
#include <string>

#include "app/run_report.h"
#include "config/manager_config_writer.h"
#include "discovery/com_ports.h"
#include "discovery/pcsc_reader_list.h"
#include "platform/open_to_others.h"
#include "platform/serial_port.h"
#include "platform/sleep.h"
#include "platform/trace.h"
#include "serial/probe_command.h"
#include "serial/serial_reader_link.h"

namespace {

// The protocol library names a port with one byte: a port it cannot name is not probed,
// rather than probing another port under this one's number.
bool LibraryCanNamePort(int32_t port) { return port >= 0 && port <= 255; }

}  // namespace

int32_t ProbePort(SerialReaderLink& link, ProbeCommand& probe, int32_t port) {
  link.SetPort(port & 0xFF);
  int32_t multiplier = 2;
  int32_t found = 0;
  bool searching = true;
  do {
    link.SetSpeed(multiplier);
    const uint16_t connection = link.Connect();
    const uint16_t answer = connection == 0 ? probe.Send() : 0;
    if (connection == 0 && answer == 0) {
      found = multiplier;
      searching = false;
    }
    if (connection != 0) {
      platform::Trace("COM%ld at %ld baud: connection status %u: no reader", long(port),
                      long(multiplier) * 9600, connection);
    } else {
      platform::Trace("COM%ld at %ld baud: connection status 0, probe command status %u: %s",
                      long(port), long(multiplier) * 9600, answer,
                      answer == 0 ? "reader answered" : "no reader");
    }
    --multiplier;
    platform::SleepMilliseconds(kProbePauseMilliseconds);
  } while (multiplier != 0 && searching);
  return found;
}

int RunProbeDriver(SerialReaderLink& link, PcscReaderList& pcscReaders) {
  ProbeCommand probe(link);
  ManagerConfigWriter writer;
  const int32_t pcscCount = pcscReaders.GetCount();
  int32_t serialCount = 0;

  if (link.Status() != 0) {
    platform::Trace("serial ports not probed: serial link status %u", link.Status());
    // The program's own parameter file failed: the workstation's serial readers are still
    // there, and an earlier file that lists them is worth more than one without them.
    if (IsParamFileStatus(link.Status())) {
      char why[128];
      std::snprintf(why, sizeof why, "the new one would lack its serial readers: the serial "
                    "ports were not probed: parameter file status %u", link.Status());
      writer.KeepEarlierFile(why);
    }
  } else {
    ComPortList ports;
    const int32_t portCount = EnumerateComPorts(ports);
    platform::Trace("%ld COM ports to probe", long(portCount));
    for (int32_t i = 0; i < portCount && i < kComPortListSize; ++i) {
      const int32_t port = ports[i];
      if (!LibraryCanNamePort(port)) {
        platform::Trace("COM%ld: not probed: outside the protocol library's range 0..255",
                        long(port));
        continue;
      }
      // The access manager may hold its readers' ports: such a port would not open for the
      // library either, and a reader the earlier file lists there is still attached.
      if (platform::PortInUse(port)) {
        platform::Trace("COM%ld: in use by another program: not probed", long(port));
        if (writer.EarlierFileListsSerialReader(port)) {
          char why[128];
          std::snprintf(why, sizeof why, "the new one could lack the reader on COM%ld: the port "
                        "is in use by another program", long(port));
          writer.KeepEarlierFile(why);
        }
        continue;
      }
      const int32_t found = ProbePort(link, probe, port);
      if (found == 0) continue;
      if (++serialCount == 1) {
        writer.WriteQlpProtocol();
        if (pcscCount > 0) writer.WritePcscProtocol();
      }
      writer.AddSerialChannel(port, found * 9600);
    }
  }

  int32_t total = serialCount;
  if (pcscCount > 0) {
    writer.WritePcscProtocol();  // written once only: harmless after a serial reader
    total = serialCount + pcscCount;
    for (int32_t i = 0; i < pcscCount; ++i) writer.AddPcscChannel(pcscReaders.GetName(i));
    writer.SetChannelList();
  }
  if (total > 0) writer.SetChannelCount(total);
  // The run's last line and its event: what it found, and what became of telmar.old.
  char found[96] = "no reader found";
  if (total > 0) {
    std::snprintf(found, sizeof found, "%ld serial and %ld PC/SC readers found",
                  long(serialCount), long(pcscCount));
  }
  const std::string last = std::string("outcome: ") + found +
                           (link.Status() != 0 ? " (the serial ports were not probed)" : "") +
                           ": " + writer.Ending();
  ReportRunEnd(EventFor(writer.HowEnded(), platform::RunWarnings()[0] != '\0'), serialCount,
               pcscCount, writer.FilePath(), writer.Why(), last);
  platform::Trace("%s", last.c_str());
  return 0;
}
