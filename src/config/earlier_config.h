// What an earlier telmar.old lists, read with the profile-string calls as the access manager
// reads it: so that a run that could not see a reader does not drop it from the file.
#ifndef TELMAR_CONFIG_EARLIER_CONFIG_H
#define TELMAR_CONFIG_EARLIER_CONFIG_H

#include <cstdint>

// Whether the telmar.old at `path` lists a serial channel (a [CANALn] section with TCanal=1)
// whose Index is `port`. The channels are [CANAL1] to [CANALn] for NbCanaux=n of [CONFIG], and
// any that follow them. A file that cannot be read, or is not a regular file, lists nothing.
bool ListsSerialChannel(const char* path, int32_t port);

#endif
