// The link to the serial-reader protocol library (qlpinw32.dll, or SimQlp.dll when the
// parameter file selects the simulator): loads it at run time in whichever generation
// of entry points is complete, the second first, then connects and exchanges commands.
#ifndef TELMAR_SERIAL_SERIAL_READER_LINK_H
#define TELMAR_SERIAL_SERIAL_READER_LINK_H

#include <cstdint>

#include "platform/module.h"
#include "serial/qlp_entry_points.h"
#include "serial/serial_param_file.h"
#include "serial/serial_params.h"

// Capacity of the command and response buffers.
const uint32_t kQlpBufferSize = 33792;

// The entry points of both generations, null until resolved.
struct QlpEntryPoints {
  LnkInitFn lnkInit;
  LnkTerminFn lnkTermin;
  LnkIdentifyFn lnkIdentify;
  LnkConnectFn lnkConnect;
  LnkDisconnectFn lnkDisconnect;
  LnkSetExclusivityFn lnkSetExclusivity;
  LnkReleaseExclusivityFn lnkReleaseExclusivity;
  LnkExchangeFn lnkExchange;
  LnkGetStatusFn lnkGetStatus;
  LNK_InitFn lnk_Init;
  LNK_ConnectFn lnk_Connect;
  LNK_ExchangeFn lnk_Exchange;
  LNK_DisconnectFn lnk_Disconnect;
  LNK_ReceptFn lnk_Recept;
  LNK_StatusFn lnk_Status;
  LNK_LireVersionFn lnk_LireVersion;
};

// File-scope state handed to the protocol library; lives for the whole process.
extern platform::ModuleHandle libraryHandle;  // null when no library was loaded
extern QlpEntryPoints entryPoints;
extern unsigned char commandBuffer[kQlpBufferSize];
extern uint32_t commandLength;
extern unsigned char responseBuffer[kQlpBufferSize];
extern uint32_t responseLength;  // capacity on the way in, answer length on the way out

class SerialReaderLink {
 public:
  // Reads the parameters back from `paramFile` and, when that succeeded, loads the
  // protocol library and replaces the framing and protocol values by the fixed ones the
  // library is driven with. Status() tells the outcome. `paramFile` must outlive the link.
  explicit SerialReaderLink(SerialParamFile& paramFile);
  SerialReaderLink(const SerialReaderLink&) = delete;
  SerialReaderLink& operator=(const SerialReaderLink&) = delete;

  // Initialises the library, then connects to comPort at the current speed; 0 when
  // connected, else the library's status. Only when Status() is 0.
  uint16_t Connect();
  // Sends commandBuffer (commandLength bytes) to the reader on comPort; 0 when the
  // reader answered, else the library's status. Only when Status() is 0.
  uint16_t Exchange();
  // Each keeps the low 8 bits of its argument (the driver hands over ports 0 to 255 and
  // multipliers 1 and 2 only).
  void SetPort(int32_t port);
  void SetSpeed(int32_t multiplier);
  uint16_t Status() const { return status; }

  // 1 when the second generation is in use, 0 for the first or none.
  uint8_t Generation() const { return generation; }
  const SerialFraming& Framing() const { return framing; }
  const ProtocolParams& Protocol() const { return protocol; }

 private:
  // ReadParams of the parameter file into the records and file-scope values; the
  // result becomes the status and is returned.
  uint16_t LoadParams();
  // Loads the library and resolves its entry points: 0, or LIBRARY_UNUSABLE (the
  // module then stays loaded when it could be loaded at all).
  uint16_t LoadProtocolLibrary();

  uint8_t generation;
  uint16_t status;
  SerialFraming framing;
  ProtocolParams protocol;
  SerialParamFile& paramFile;
};

#endif
