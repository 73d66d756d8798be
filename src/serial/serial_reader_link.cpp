#include "serial/serial_reader_link.h"

#include <cstdio>

#include "platform/open_to_others.h"
#include "platform/trace.h"
#include "serial/qlp_call.h"

platform::ModuleHandle libraryHandle = nullptr;
QlpEntryPoints entryPoints = {};
unsigned char commandBuffer[kQlpBufferSize];
uint32_t commandLength = 0;
unsigned char responseBuffer[kQlpBufferSize];
uint32_t responseLength = 0;

namespace {

void TraceMissing(const char* name) {
  platform::Trace("protocol library: entry point %s missing", name);
}

// Resolves every name of a generation, whatever became of the ones before it, so that the
// trace names each one missing; true when the generation is complete.
template <size_t count>
bool ResolveGeneration(const platform::EntryPointSlot (&table)[count]) {
  return platform::ResolveEntryPoints(libraryHandle, table, count, false, TraceMissing);
}

// Which file the loader found for `name`, or why it loaded none.
void TraceLoadedLibrary(const char* name) {
  if (!platform::TraceOn()) return;
  char path[platform::kTracePathSize];
  if (libraryHandle == nullptr) {
    char reason[platform::kWhyNotLoadedSize];
    platform::WhyNotLoaded(name, reason, sizeof reason);
    platform::Trace("protocol library %s: not loaded: status %u; %s", name, LIBRARY_UNUSABLE,
                    reason);
  } else if (platform::ModulePath(libraryHandle, path, sizeof path)) {
    platform::Trace("protocol library %s: loaded from %s", name, path);
    platform::WarnIfLibraryFolderOpenToOthers(path);
  } else {
    platform::Trace("protocol library %s: loaded (its path is not known)", name);
  }
}

}  // namespace

SerialReaderLink::SerialReaderLink(SerialParamFile& file)
    : generation(0), status(0), framing(), protocol(), paramFile(file) {
  libraryHandle = nullptr;
  status = LoadParams();
  if (status == 0) status = LoadProtocolLibrary();
  if (status != 0) return;
  // The file was read to check it and to complete it for the second-generation library,
  // which reads it itself; the link drives the library with fixed values whatever the file
  // said. A reader counts as found only when it answers as the access manager will address
  // it: on the line each serial channel of telmar.old gives (speed,1,8,0,0), at the PAD
  // that channel gives (2).
  framing = kReaderLine;
  protocol.configFirst = 4000;
  protocol.configThird = 10000;
  protocol.padReader = 2;
}

uint16_t SerialReaderLink::LoadParams() {
  status = paramFile.ReadParams(framing, protocol, comPort, padStation, simulatorType);
  return status;
}

uint16_t SerialReaderLink::LoadProtocolLibrary() {
  const char* const name = simulatorType != 0 ? "SimQlp.dll" : "qlpinw32.dll";
  libraryHandle = platform::LoadModule(name);
  TraceLoadedLibrary(name);
  if (libraryHandle == nullptr) return LIBRARY_UNUSABLE;

  QlpEntryPoints& e = entryPoints;
  const platform::EntryPointSlot second[] = {
      {"LnkInit", &e.lnkInit},         {"LnkTermin", &e.lnkTermin},
      {"LnkIdentify", &e.lnkIdentify}, {"LnkConnect", &e.lnkConnect},
      {"LnkDisconnect", &e.lnkDisconnect}, {"LnkSetExclusivity", &e.lnkSetExclusivity},
      {"LnkReleaseExclusivity", &e.lnkReleaseExclusivity}, {"LnkExchange", &e.lnkExchange},
      {"LnkGetStatus", &e.lnkGetStatus}};
  generation = 1;
  if (ResolveGeneration(second)) {
    char identity[kQlpIdentifySize];
    QlpCall(e.lnkIdentify, identity);
    platform::Trace("protocol library: second generation (Lnk...) taken");
    return 0;
  }
  const platform::EntryPointSlot first[] = {
      {"LNK_Init", &e.lnk_Init},         {"LNK_Connect", &e.lnk_Connect},
      {"LNK_Exchange", &e.lnk_Exchange}, {"LNK_Disconnect", &e.lnk_Disconnect},
      {"LNK_Recept", &e.lnk_Recept},     {"LNK_Status", &e.lnk_Status},
      {"LNK_LireVersion", &e.lnk_LireVersion}};
  generation = 0;
  if (ResolveGeneration(first)) {
    char version[kQlpVersionSize];
    QlpCall(e.lnk_LireVersion, version);
    platform::Trace("protocol library: first generation (LNK_...) taken");
    return 0;
  }
  // The module stays loaded; libraryHandle keeps it.
  platform::Trace("protocol library: no complete generation: status %u", LIBRARY_UNUSABLE);
  return LIBRARY_UNUSABLE;
}

uint16_t SerialReaderLink::Connect() {
  if (generation == 1) {
    uint16_t result = QlpCall(entryPoints.lnkInit, 0, paramFile.Path(), 0);
    if (result != 0) return result;
    // "<baud>,<extra>,<data bits>,<parity>,<stop>", each of the last four as one digit.
    // The multiplier is at most 255 (SetSpeed keeps 8 bits, the parameter file only
    // accepts 1 and 2), so the text never exceeds 15 characters; snprintf would cut it.
    char lineText[16];
    const int length =
        std::snprintf(lineText, sizeof lineText, "%u,%c,%c,%c,%c", framing.speedMultiplier * 9600u,
                      framing.framingExtra + '0', framing.dataBits + '0', framing.parity + '0',
                      framing.stop + '0');
    if (length < 0) lineText[0] = '\0';
    return QlpCall(entryPoints.lnkConnect, 1, comPort, lineText);
  }
  uint16_t result = QlpCall(entryPoints.lnk_Init, padStation, protocol.configFirst, configMiddle,
                            protocol.configThird, tReponse);
  if (result != 0) return result;
  // The first generation takes the multiplier itself, not the baud rate.
  return QlpCall(entryPoints.lnk_Connect, 1, comPort, framing);
}

uint16_t SerialReaderLink::Exchange() {
  responseLength = kQlpBufferSize;
  if (generation == 1) {
    return QlpCall(entryPoints.lnkExchange, 1, comPort, protocol.padReader, tMax, commandBuffer,
                   commandLength, responseBuffer, &responseLength);
  }
  return QlpCall(entryPoints.lnk_Exchange, protocol.padReader, commandBuffer, commandLength, tMax,
                 1, comPort, 0, responseBuffer, &responseLength);
}

void SerialReaderLink::SetPort(int32_t port) { comPort = static_cast<uint8_t>(port); }

void SerialReaderLink::SetSpeed(int32_t multiplier) {
  framing.speedMultiplier = static_cast<uint8_t>(multiplier);
}
