// The entry points of the QLP protocol library (qlpinw32.dll, and its simulator
// SimQlp.dll), in its two generations. Shared by the reader link, which calls them,
// and by the stand-in library, which implements them.
//
// Argument types: every status is 16-bit; values of 8 or 16 bits are uint8_t or
// uint16_t, and so are the constant link, mode and flag arguments (uint8_t); byte
// counts are uint32_t; texts are char pointers, byte buffers unsigned char pointers.
// All entry points are declared QLP_CALL: __stdcall on 32-bit x86 (Windows, and Linux
// i686 alike), the one convention elsewhere. The maker does not say which convention its
// library uses, so the link does not rely on this one: on 32-bit x86 it calls through
// QlpCall (serial/qlp_call.h), which works with __stdcall and __cdecl entry points alike.
// A build of the stand-in library may define QLP_CALL otherwise (its __cdecl variant).
#ifndef TELMAR_SERIAL_QLP_ENTRY_POINTS_H
#define TELMAR_SERIAL_QLP_ENTRY_POINTS_H

#include <cstdint>

#include "serial/serial_params.h"

#ifndef QLP_CALL
#if defined(__i386__)
#define QLP_CALL __attribute__((stdcall))
#else
#define QLP_CALL
#endif
#endif

// Size of the buffer LnkIdentify fills, and of the one LNK_LireVersion fills.
const uint32_t kQlpIdentifySize = 108;
const uint32_t kQlpVersionSize = 8;

extern "C" {

// Second generation.
// LnkInit(0, parameter file path, 0)
typedef uint16_t(QLP_CALL* LnkInitFn)(uint8_t mode, const char* paramFilePath, uint8_t flags);
typedef uint16_t(QLP_CALL* LnkTerminFn)();
// Fills kQlpIdentifySize bytes.
typedef uint16_t(QLP_CALL* LnkIdentifyFn)(char* identity);
// LnkConnect(1, port, "19200,1,8,0,0")
typedef uint16_t(QLP_CALL* LnkConnectFn)(uint8_t link, uint8_t port, const char* lineText);
typedef uint16_t(QLP_CALL* LnkDisconnectFn)(uint8_t link, uint8_t port);
typedef uint16_t(QLP_CALL* LnkSetExclusivityFn)(uint8_t link, uint8_t port);
typedef uint16_t(QLP_CALL* LnkReleaseExclusivityFn)(uint8_t link, uint8_t port);
// LnkExchange(1, port, reader PAD, tMax, command, its length, response, capacity/length)
typedef uint16_t(QLP_CALL* LnkExchangeFn)(uint8_t link, uint8_t port, uint8_t padReader,
                                          uint16_t tMax, const unsigned char* command,
                                          uint32_t commandLength, unsigned char* response,
                                          uint32_t* responseLength);
typedef uint16_t(QLP_CALL* LnkGetStatusFn)(uint8_t link, uint8_t port, uint16_t* state);

// First generation.
// LNK_Init(station PAD, first, middle and third "Config" numbers, tReponse)
typedef uint16_t(QLP_CALL* LNK_InitFn)(uint8_t padStation, uint16_t configFirst,
                                       uint16_t configMiddle, uint16_t configThird,
                                       uint16_t tReponse);
// LNK_Connect(1, port, framing record by value)
typedef uint16_t(QLP_CALL* LNK_ConnectFn)(uint8_t link, uint8_t port, SerialFraming framing);
// LNK_Exchange(reader PAD, command, its length, tMax, 1, port, 0, response, capacity/length)
typedef uint16_t(QLP_CALL* LNK_ExchangeFn)(uint8_t padReader, const unsigned char* command,
                                           uint32_t commandLength, uint16_t tMax, uint8_t link,
                                           uint8_t port, uint8_t flags, unsigned char* response,
                                           uint32_t* responseLength);
typedef uint16_t(QLP_CALL* LNK_DisconnectFn)(uint8_t link, uint8_t port);
typedef uint16_t(QLP_CALL* LNK_ReceptFn)(uint8_t padReader, unsigned char* response,
                                         uint32_t* responseLength);
typedef uint16_t(QLP_CALL* LNK_StatusFn)(uint8_t link, uint8_t port, uint16_t* state);
// Fills kQlpVersionSize bytes.
typedef uint16_t(QLP_CALL* LNK_LireVersionFn)(char* version);

}  // extern "C"

#endif
