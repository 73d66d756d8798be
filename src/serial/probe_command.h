// The fixed four-byte probe command (FF 01 06 01) that tells whether a QLP reader
// answers on the link's current port and speed.
#ifndef TELMAR_SERIAL_PROBE_COMMAND_H
#define TELMAR_SERIAL_PROBE_COMMAND_H

#include <cstdint>

#include "serial/serial_reader_link.h"

class ProbeCommand {
 public:
  explicit ProbeCommand(SerialReaderLink& readerLink) : link(readerLink) {}

  // Prepare, then the link's Exchange; returns its status unchanged.
  uint16_t Send();

 private:
  // Puts the probe bytes at the start of commandBuffer and sets commandLength to 4.
  void Prepare();

  SerialReaderLink& link;
};

#endif
