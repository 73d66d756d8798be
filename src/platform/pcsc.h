// The smart-card service's client library: its file name, the four entry points the
// program resolves, their signatures and the few result codes it tells apart.
// On Windows this is winscard.dll; elsewhere pcsc-lite's client library, whose types
// follow <PCSC/wintypes.h>: on Linux its DWORD and LONG are `unsigned long` and `long`
// (64 bits on x86_64), and SCARDCONTEXT is a LONG.
#ifndef TELMAR_PLATFORM_PCSC_H
#define TELMAR_PLATFORM_PCSC_H

#include <cstdint>

#if defined(_WIN32)
#define TELMAR_PCSC_CALL __stdcall
#else
#define TELMAR_PCSC_CALL
#endif

namespace platform {

// LONG and DWORD of the service's interface (32 bits on Windows, `long` wide elsewhere).
typedef long PcscLong;
typedef unsigned long PcscDword;
#if defined(_WIN32)
typedef uintptr_t PcscContext;  // SCARDCONTEXT is a ULONG_PTR
#else
typedef long PcscContext;  // SCARDCONTEXT is a LONG
#endif

typedef PcscLong(TELMAR_PCSC_CALL* PcscEstablishContextFn)(PcscDword scope,
                                                           const void* reserved1,
                                                           const void* reserved2,
                                                           PcscContext* context);
typedef PcscLong(TELMAR_PCSC_CALL* PcscReleaseContextFn)(PcscContext context);
// Groups, readers buffer (may be null to ask the size), in/out length in characters.
typedef PcscLong(TELMAR_PCSC_CALL* PcscListReadersFn)(PcscContext context, const char* groups,
                                                      char* readers, PcscDword* length);
// Resolved but never called: the reader-state table is left opaque.
typedef PcscLong(TELMAR_PCSC_CALL* PcscGetStatusChangeFn)(PcscContext context,
                                                          PcscDword timeout,
                                                          void* readerStates,
                                                          PcscDword readerCount);

#if defined(_WIN32)
const char kPcscLibraryName[] = "winscard.dll";
const char kPcscListReadersName[] = "SCardListReadersA";
const char kPcscGetStatusChangeName[] = "SCardGetStatusChangeA";
#else
const char kPcscLibraryName[] = "libpcsclite.so.1";
const char kPcscListReadersName[] = "SCardListReaders";
const char kPcscGetStatusChangeName[] = "SCardGetStatusChange";
#endif
const char kPcscEstablishContextName[] = "SCardEstablishContext";
const char kPcscReleaseContextName[] = "SCardReleaseContext";

const PcscDword kPcscScopeUser = 0;

// Result codes as the service returns them, in its own LONG (negative on Windows,
// positive on 64-bit Linux, as each system's headers define them).
const PcscLong kPcscSuccess = 0;
const PcscLong kPcscInsufficientBuffer = static_cast<PcscLong>(0x80100008UL);
const PcscLong kPcscReaderUnavailable = static_cast<PcscLong>(0x80100017UL);
const PcscLong kPcscNoReadersAvailable = static_cast<PcscLong>(0x8010002EUL);

}  // namespace platform

#endif
