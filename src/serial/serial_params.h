// The serial parameter set shared by the parameter file and the reader link: the line
// framing and protocol records, the file-scope values handed to the protocol library,
// and the status codes of the serial bridge.
#ifndef TELMAR_SERIAL_SERIAL_PARAMS_H
#define TELMAR_SERIAL_SERIAL_PARAMS_H

#include <cstddef>
#include <cstdint>

// Serial line framing. Handed by value to the first-generation protocol library, so
// its layout is fixed: 6 bytes, little-endian, no gap between fields.
#pragma pack(push, 1)
struct SerialFraming {
  uint16_t speedMultiplier;  // units of 9600 baud: 1 = 9600, 2 = 19200 ("Vitesse")
  uint8_t framingExtra;      // value sent between the speed and the data bits
  uint8_t dataBits;          // 7 or 8 ("Donnees")
  uint8_t parity;            // 0 to 2 ("Parite")
  uint8_t stop;              // 0 to 2 ("Stop")
};
#pragma pack(pop)

static_assert(sizeof(SerialFraming) == 6, "SerialFraming is 6 bytes");
static_assert(offsetof(SerialFraming, speedMultiplier) == 0, "speedMultiplier at 0");
static_assert(offsetof(SerialFraming, framingExtra) == 2, "framingExtra at 2");
static_assert(offsetof(SerialFraming, dataBits) == 3, "dataBits at 3");
static_assert(offsetof(SerialFraming, parity) == 4, "parity at 4");
static_assert(offsetof(SerialFraming, stop) == 5, "stop at 5");

// The line the readers are probed on, which the parameter file also starts with: 9600 baud
// (the driver sets the speed of each try), the framing value 1, 8 data bits, parity and stop
// codes 0.
const SerialFraming kReaderLine = {1, 1, 8, 0, 0};

// QLP protocol parameters held by the link.
struct ProtocolParams {
  uint16_t configFirst;  // first number of "Config"
  uint16_t configThird;  // third number of "Config"
  uint8_t padReader;     // protocol address of the reader, 0 to 15 ("PAD_LECTEUR")
};

// Statuses of the serial bridge; 0 is success.
const uint16_t PARAM_FILE_ERROR = 300;       // write-back failed, or "Config" incomplete
const uint16_t PARAM_BAD_SPEED = 302;        // "Vitesse" / 9600 is neither 1 nor 2
const uint16_t PARAM_BAD_PARITY = 303;       // "Parite" above 2
const uint16_t PARAM_BAD_DATA_BITS = 305;    // "Donnees" neither 7 nor 8
const uint16_t PARAM_BAD_STOP = 306;         // "Stop" above 2
const uint16_t PARAM_BAD_PAD_READER = 307;   // "PAD_LECTEUR" above 15
const uint16_t PARAM_BAD_PAD_STATION = 308;  // "PAD_STATION" above 15
const uint16_t LIBRARY_UNUSABLE = 265;       // no library, or no complete generation

// Whether a status is the parameter file's (300 to 308): a failure of the program's own
// file, not a trait of the workstation such as a missing protocol library.
inline bool IsParamFileStatus(uint16_t status) {
  return status >= PARAM_FILE_ERROR && status <= PARAM_BAD_PAD_STATION;
}

// File-scope serial parameters, live for the whole process; defined, with the values they
// start with, in serial_param_file.cpp.
extern uint8_t comPort;         // COM port of the reader ("Port")
extern uint8_t padStation;      // protocol address of the station ("PAD_STATION")
extern uint16_t configMiddle;   // middle number of "Config"
extern uint16_t tReponse;       // passed to the first-generation initialisation
extern uint16_t tMax;           // passed with every exchange
extern uint16_t simulatorType;  // non-zero selects the simulator library ("Type")

#endif
