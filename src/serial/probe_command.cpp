#include "serial/probe_command.h"

namespace {

const unsigned char kProbeBytes[] = {0xFF, 0x01, 0x06, 0x01};

}  // namespace

void ProbeCommand::Prepare() {
  for (uint32_t i = 0; i < sizeof kProbeBytes; ++i) commandBuffer[i] = kProbeBytes[i];
  commandLength = sizeof kProbeBytes;
}

uint16_t ProbeCommand::Send() {
  Prepare();
  return link.Exchange();
}
