// The run itself: probes every serial port for a reader, then hands each reader found,
// serial ones first, to the configuration writer.
#ifndef TELMAR_APP_PROBE_DRIVER_H
#define TELMAR_APP_PROBE_DRIVER_H

#include <cstdint>

class PcscReaderList;
class ProbeCommand;
class SerialReaderLink;

// Each try of a port at one speed is followed by this pause, whether a reader answered or
// not. Nothing ever disconnects the library from a port: the pause gives the port and the
// reader time to settle before the next initialisation and connection reach them.
const unsigned kProbePauseMilliseconds = 100;

// Probes one port at 19200 then 9600 baud. Returns the speed multiplier at which a reader
// answered (2 or 1), or 0 when none did. The faster speed goes first, and the first that
// answers wins: a reader that can do both is written at 19200.
int32_t ProbePort(SerialReaderLink& link, ProbeCommand& probe, int32_t port);

// Writes the configuration file for the readers found and returns 0, whatever happened.
int RunProbeDriver(SerialReaderLink& link, PcscReaderList& pcscReaders);

#endif
