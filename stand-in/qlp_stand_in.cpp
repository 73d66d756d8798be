// Stand-in for the QLP protocol library (qlpinw32 / SimQlp), both generations of entry
// points. It simulates serial readers and records every call.
//
// QLP_SIM_READERS lists the simulated readers as comma-separated PORT@BAUD[/BAUD...]
// entries: "3@19200,5@9600,7@19200/9600" puts a reader on COM3 answering only at 19200
// baud, one on COM5 only at 9600, one on COM7 at both. Entries that do not have this
// form are ignored. The variable is read at every call.
//
// Behaviour: an initialisation entry point must have succeeded before anything connects
// or exchanges. A connection succeeds on a listed port at a listed speed (second
// generation: the baud rate leading the line text; first generation: the multiplier of
// the framing record times 9600). An exchange succeeds when its port is connected and the
// command is the probe FF 01 06 01; it answers the two bytes 90 00. Every failure gives a
// non-zero status (see below); the constant link argument must be 1.
//
// QLP_SIM_LOG, when set, names a file that receives one line per entry-point call, with
// LF line ends: the entry point's name and its arguments as received, numbers in
// decimal, bytes in upper-case hexadecimal without separators, '-' for a null pointer.
// Entry points whose arguments the system never passes log their name alone.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/qlp_entry_points.h"

namespace {

const uint16_t kOk = 0;
const uint16_t kNotInitialised = 1;
const uint16_t kBadArgument = 2;
const uint16_t kNoReader = 3;
const uint16_t kNotConnected = 4;
const uint16_t kUnknownCommand = 5;
const uint16_t kBufferTooSmall = 6;

const unsigned char kProbe[] = {0xFF, 0x01, 0x06, 0x01};
const unsigned char kAnswer[] = {0x90, 0x00};

bool initialised = false;
// Baud rate each port is connected at; 0 when it is not connected.
unsigned long connectedBaud[256];

// Reads at most nine decimal digits from [*text, end); false when there are none or too many.
bool ParseNumber(const char** text, const char* end, unsigned long* value) {
  const char* p = *text;
  unsigned long number = 0;
  int digits = 0;
  for (; p != end && *p >= '0' && *p <= '9'; ++p, ++digits) {
    if (digits == 9) return false;
    number = number * 10 + static_cast<unsigned long>(*p - '0');
  }
  if (digits == 0) return false;
  *text = p;
  *value = number;
  return true;
}

// Whether the entry [text, end) has the form PORT@BAUD[/BAUD...] and lists `baud` for `port`.
bool EntryAnswers(const char* text, const char* end, unsigned port, unsigned long baud) {
  unsigned long entryPort = 0;
  if (!ParseNumber(&text, end, &entryPort) || entryPort > 255) return false;
  if (text == end || *text != '@') return false;
  bool listed = false;
  do {
    ++text;  // past '@' or '/'
    unsigned long speed = 0;
    if (!ParseNumber(&text, end, &speed)) return false;
    if (speed == baud) listed = true;
  } while (text != end && *text == '/');
  return text == end && listed && entryPort == port;
}

// Whether a simulated reader on `port` answers at `baud`.
bool ReaderAnswers(unsigned port, unsigned long baud) {
  const char* readers = std::getenv("QLP_SIM_READERS");
  if (readers == nullptr) return false;
  while (*readers != '\0') {
    const char* end = std::strchr(readers, ',');
    if (end == nullptr) end = readers + std::strlen(readers);
    if (EntryAnswers(readers, end, port, baud)) return true;
    readers = (*end == ',') ? end + 1 : end;
  }
  return false;
}

uint16_t ConnectAt(uint8_t link, uint8_t port, unsigned long baud) {
  if (!initialised) return kNotInitialised;
  connectedBaud[port] = 0;
  if (link != 1) return kBadArgument;
  if (!ReaderAnswers(port, baud)) return kNoReader;
  connectedBaud[port] = baud;
  return kOk;
}

uint16_t ExchangeOn(uint8_t link, uint8_t port, const unsigned char* command, uint32_t length,
                    unsigned char* response, uint32_t* responseLength) {
  if (!initialised) return kNotInitialised;
  if (link != 1 || command == nullptr || response == nullptr || responseLength == nullptr) {
    return kBadArgument;
  }
  if (connectedBaud[port] == 0 || !ReaderAnswers(port, connectedBaud[port])) return kNotConnected;
  if (length != sizeof kProbe || std::memcmp(command, kProbe, sizeof kProbe) != 0) {
    return kUnknownCommand;
  }
  if (*responseLength < sizeof kAnswer) return kBufferTooSmall;
  std::memcpy(response, kAnswer, sizeof kAnswer);
  *responseLength = sizeof kAnswer;
  return kOk;
}

// The log file opened for appending, or null when there is none.
std::FILE* OpenLog() {
  const char* path = std::getenv("QLP_SIM_LOG");
  if (path == nullptr || path[0] == '\0') return nullptr;
  return std::fopen(path, "ab");
}

void LogLine(const char* format, ...) {
  std::FILE* log = OpenLog();
  if (log == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(log, format, arguments);
  va_end(arguments);
  std::fputc('\n', log);
  std::fclose(log);
}

// Formats `length` bytes as upper-case hexadecimal into `out` (at most `size` - 1
// characters, so a long command is cut); "-" for a null pointer.
const char* Hex(const unsigned char* bytes, uint32_t length, char* out, size_t size) {
  if (bytes == nullptr) return "-";
  size_t used = 0;
  for (uint32_t i = 0; i < length && used + 2 < size; ++i, used += 2) {
    std::snprintf(out + used, 3, "%02X", bytes[i]);
  }
  out[used] = '\0';
  return out;
}

// The value a length pointer points at, in decimal, or "-" for a null pointer.
const char* Length(const uint32_t* length, char* out, size_t size) {
  if (length == nullptr) return "-";
  std::snprintf(out, size, "%lu", static_cast<unsigned long>(*length));
  return out;
}

}  // namespace

extern "C" {

// Second generation.

uint16_t QLP_CALL LnkInit(uint8_t mode, const char* paramFilePath, uint8_t flags) {
  LogLine("LnkInit %u %s %u", mode, paramFilePath ? paramFilePath : "-", flags);
  if (mode != 0 || paramFilePath == nullptr || paramFilePath[0] == '\0') return kBadArgument;
  initialised = true;
  return kOk;
}

uint16_t QLP_CALL LnkTermin() {
  LogLine("LnkTermin");
  initialised = false;
  return kOk;
}

uint16_t QLP_CALL LnkIdentify(char* identity) {
  LogLine("LnkIdentify");
  if (identity == nullptr) return kBadArgument;
  std::memset(identity, 0, kQlpIdentifySize);
  std::snprintf(identity, kQlpIdentifySize, "QLP stand-in library");
  return kOk;
}

uint16_t QLP_CALL LnkConnect(uint8_t link, uint8_t port, const char* lineText) {
  LogLine("LnkConnect %u %u %s", link, port, lineText ? lineText : "-");
  if (lineText == nullptr) return kBadArgument;
  const char* text = lineText;
  unsigned long baud = 0;
  if (!ParseNumber(&text, text + std::strlen(text), &baud) || *text != ',') return kBadArgument;
  return ConnectAt(link, port, baud);
}

uint16_t QLP_CALL LnkDisconnect(uint8_t, uint8_t port) {
  LogLine("LnkDisconnect");
  connectedBaud[port] = 0;
  return kOk;
}

uint16_t QLP_CALL LnkSetExclusivity(uint8_t, uint8_t) {
  LogLine("LnkSetExclusivity");
  return kOk;
}

uint16_t QLP_CALL LnkReleaseExclusivity(uint8_t, uint8_t) {
  LogLine("LnkReleaseExclusivity");
  return kOk;
}

uint16_t QLP_CALL LnkExchange(uint8_t link, uint8_t port, uint8_t padReader, uint16_t tMax,
                              const unsigned char* command, uint32_t commandLength,
                              unsigned char* response, uint32_t* responseLength) {
  char hex[129];
  char capacity[16];
  LogLine("LnkExchange %u %u %u %u %s %lu %s", link, port, padReader, tMax,
          Hex(command, commandLength, hex, sizeof hex), static_cast<unsigned long>(commandLength),
          Length(responseLength, capacity, sizeof capacity));
  return ExchangeOn(link, port, command, commandLength, response, responseLength);
}

uint16_t QLP_CALL LnkGetStatus(uint8_t, uint8_t port, uint16_t* state) {
  LogLine("LnkGetStatus");
  if (state != nullptr) *state = connectedBaud[port] != 0 ? 1 : 0;
  return kOk;
}

// First generation.

uint16_t QLP_CALL LNK_Init(uint8_t padStation, uint16_t configFirst, uint16_t configMiddle,
                           uint16_t configThird, uint16_t tReponse) {
  LogLine("LNK_Init %u %u %u %u %u", padStation, configFirst, configMiddle, configThird,
          tReponse);
  if (padStation > 15) return kBadArgument;
  initialised = true;
  return kOk;
}

uint16_t QLP_CALL LNK_Connect(uint8_t link, uint8_t port, SerialFraming framing) {
  LogLine("LNK_Connect %u %u %u %u %u %u %u", link, port, framing.speedMultiplier,
          framing.framingExtra, framing.dataBits, framing.parity, framing.stop);
  return ConnectAt(link, port, framing.speedMultiplier * 9600ul);
}

uint16_t QLP_CALL LNK_Exchange(uint8_t padReader, const unsigned char* command,
                               uint32_t commandLength, uint16_t tMax, uint8_t link, uint8_t port,
                               uint8_t flags, unsigned char* response, uint32_t* responseLength) {
  char hex[129];
  char capacity[16];
  LogLine("LNK_Exchange %u %s %lu %u %u %u %u %s", padReader,
          Hex(command, commandLength, hex, sizeof hex), static_cast<unsigned long>(commandLength),
          tMax, link, port, flags, Length(responseLength, capacity, sizeof capacity));
  if (flags != 0) return kBadArgument;
  return ExchangeOn(link, port, command, commandLength, response, responseLength);
}

uint16_t QLP_CALL LNK_Disconnect(uint8_t, uint8_t port) {
  LogLine("LNK_Disconnect");
  connectedBaud[port] = 0;
  return kOk;
}

uint16_t QLP_CALL LNK_Recept(uint8_t, unsigned char*, uint32_t* responseLength) {
  LogLine("LNK_Recept");
  if (responseLength != nullptr) *responseLength = 0;
  return kOk;
}

uint16_t QLP_CALL LNK_Status(uint8_t, uint8_t port, uint16_t* state) {
  LogLine("LNK_Status");
  if (state != nullptr) *state = connectedBaud[port] != 0 ? 1 : 0;
  return kOk;
}

uint16_t QLP_CALL LNK_LireVersion(char* version) {
  LogLine("LNK_LireVersion");
  if (version == nullptr) return kBadArgument;
  std::memset(version, 0, kQlpVersionSize);
  std::memcpy(version, "SI 1.0", 6);
  return kOk;
}

}  // extern "C"

// Each definition must match the type the system calls it through.
#include <type_traits>
#define STANDIN_SAME_TYPE(name) \
  static_assert(std::is_same<decltype(&name), name##Fn>::value, #name " signature")
STANDIN_SAME_TYPE(LnkInit);
STANDIN_SAME_TYPE(LnkTermin);
STANDIN_SAME_TYPE(LnkIdentify);
STANDIN_SAME_TYPE(LnkConnect);
STANDIN_SAME_TYPE(LnkDisconnect);
STANDIN_SAME_TYPE(LnkSetExclusivity);
STANDIN_SAME_TYPE(LnkReleaseExclusivity);
STANDIN_SAME_TYPE(LnkExchange);
STANDIN_SAME_TYPE(LnkGetStatus);
STANDIN_SAME_TYPE(LNK_Init);
STANDIN_SAME_TYPE(LNK_Connect);
STANDIN_SAME_TYPE(LNK_Exchange);
STANDIN_SAME_TYPE(LNK_Disconnect);
STANDIN_SAME_TYPE(LNK_Recept);
STANDIN_SAME_TYPE(LNK_Status);
STANDIN_SAME_TYPE(LNK_LireVersion);
