// Stand-in for the QLP protocol library (qlpinw32 / SimQlp), both generations of entry
// points. It simulates serial readers and records every call.
//
// QLP_SIM_READERS lists the simulated readers, QLP_SIM_LOG names the file of the calls (the
// README's "The stand-in protocol library" shows how to use both). Entries of
// QLP_SIM_READERS that are not PORT@BAUD[/BAUD...] are ignored; the variable is read at
// every call.
//
// Behaviour: a simulated reader answers only a well-formed conversation, as one on a real
// line would; anything else gets a non-zero status (see below).
//  - Initialisation, before any connection in the same generation: LnkInit(0, the path of
//    an existing file named QLP_CONFIG.INI, 0); LNK_Init(station PAD 0 to 15, 4000, a
//    non-zero middle number, 10000, a non-zero tReponse). A failed initialisation, or
//    LnkTermin, leaves the library uninitialised.
//  - Connection, with link 1: on a listed port at a listed speed, 8 data bits, no parity,
//    1 stop bit: the text "BAUD,1,8,0,0" (second generation), or the framing record
//    {multiplier 1 or 2, extra 1, data 8, parity 0, stop 0} (first generation, at the
//    multiplier times 9600 baud).
//  - Exchange, with link 1 (and 0 as the first generation's flag) on a connected port: the
//    probe FF 01 06 01 to the reader's PAD 2, a non-zero tMax and a response capacity of at
//    least a full frame (256 bytes: the library cannot know how long an answer will be
//    before it arrives). The reader answers the two bytes 90 00.
// The calling convention of the entry points is QLP_CALL: __stdcall on 32-bit x86 unless
// the build defines it otherwise (the __cdecl variant).
//
// Built with QLP_RUNS_DATA_ON set to 1 (or 2), the library runs an instruction from heap
// memory as it identifies itself (or at each connection), as a library written before
// data-execution prevention would: a process that enforces it faults there.
//
// QLP_SIM_LOG, when set, names a file that receives one line per entry-point call, with
// LF line ends: the entry point's name and its arguments as received, numbers in
// decimal, bytes in upper-case hexadecimal without separators, '-' for a null pointer.
// Entry points whose arguments the system never passes log their name alone. A refused
// call is followed by a line that says why: two spaces, "status N: " and the reason.

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
const uint16_t kBadFraming = 7;
const uint16_t kNoParamFile = 8;

const unsigned char kProbe[] = {0xFF, 0x01, 0x06, 0x01};
const unsigned char kAnswer[] = {0x90, 0x00};
const uint8_t kReaderPad = 2;
const uint32_t kFullFrame = 256;

// The generations of entry points, and the one whose initialisation succeeded last.
enum Generation { kNone = 0, kFirst, kSecond };
Generation initialised = kNone;
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

// The log file opened for appending, or null when there is none.
std::FILE* OpenLog() {
  const char* path = std::getenv("QLP_SIM_LOG");
  if (path == nullptr || path[0] == '\0') return nullptr;
  return std::fopen(path, "ab");
}

// Appends `lead`, then the formatted text and a line feed, to the log.
void AppendLog(const char* lead, const char* format, va_list arguments) {
  std::FILE* log = OpenLog();
  if (log == nullptr) return;
  std::fputs(lead, log);
  std::vfprintf(log, format, arguments);
  std::fputc('\n', log);
  std::fclose(log);
}

void LogLine(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  AppendLog("", format, arguments);
  va_end(arguments);
}

// Logs why a call is refused and returns `status`.
uint16_t Refuse(uint16_t status, const char* format, ...) {
  char lead[24];
  std::snprintf(lead, sizeof lead, "  status %u: ", status);
  va_list arguments;
  va_start(arguments, format);
  AppendLog(lead, format, arguments);
  va_end(arguments);
  return status;
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

// Whether `path` names an existing file called QLP_CONFIG.INI.
bool IsParamFile(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  if (std::strcmp(name, "QLP_CONFIG.INI") != 0) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

uint16_t ConnectAt(Generation generation, uint8_t link, uint8_t port, unsigned long baud) {
  if (initialised != generation) return Refuse(kNotInitialised, "not initialised in this generation");
  connectedBaud[port] = 0;
  if (link != 1) return Refuse(kBadArgument, "link %u, not 1", link);
  if (!ReaderAnswers(port, baud)) {
    return Refuse(kNoReader, "no reader listens on COM%u at %lu baud", port, baud);
  }
  connectedBaud[port] = baud;
  return kOk;
}

uint16_t ExchangeOn(Generation generation, uint8_t link, uint8_t port, uint8_t pad, uint16_t tMax,
                    const unsigned char* command, uint32_t length, unsigned char* response,
                    uint32_t* responseLength) {
  if (initialised != generation) return Refuse(kNotInitialised, "not initialised in this generation");
  if (link != 1) return Refuse(kBadArgument, "link %u, not 1", link);
  if (command == nullptr || response == nullptr || responseLength == nullptr) {
    return Refuse(kBadArgument, "a null buffer or length");
  }
  if (connectedBaud[port] == 0 || !ReaderAnswers(port, connectedBaud[port])) {
    return Refuse(kNotConnected, "COM%u is not connected", port);
  }
  if (pad != kReaderPad) return Refuse(kNoReader, "no reader at PAD %u", pad);
  if (tMax == 0) return Refuse(kBadArgument, "tMax 0 leaves the reader no time to answer");
  if (length != sizeof kProbe || std::memcmp(command, kProbe, sizeof kProbe) != 0) {
    return Refuse(kUnknownCommand, "the reader knows the probe command only");
  }
  if (*responseLength < kFullFrame) {
    return Refuse(kBufferTooSmall, "response capacity %lu, below a full frame of %lu bytes",
                  static_cast<unsigned long>(*responseLength),
                  static_cast<unsigned long>(kFullFrame));
  }
  std::memcpy(response, kAnswer, sizeof kAnswer);
  *responseLength = sizeof kAnswer;
  return kOk;
}

#if defined(QLP_RUNS_DATA_ON)
void RunFromData(int when) {
  if (when != QLP_RUNS_DATA_ON) return;
  unsigned char* code = static_cast<unsigned char*>(std::malloc(16));
  if (code == nullptr) return;
  code[0] = 0xC3;  // ret
  reinterpret_cast<void (*)()>(code)();
  std::free(code);
}
#else
void RunFromData(int) {}
#endif

}  // namespace

extern "C" {

// Second generation.

uint16_t QLP_CALL LnkInit(uint8_t mode, const char* paramFilePath, uint8_t flags) {
  LogLine("LnkInit %u %s %u", mode, paramFilePath ? paramFilePath : "-", flags);
  initialised = kNone;
  if (mode != 0 || flags != 0) {
    return Refuse(kBadArgument, "mode %u and flags %u, not 0", mode, flags);
  }
  if (paramFilePath == nullptr || !IsParamFile(paramFilePath)) {
    return Refuse(kNoParamFile, "no parameter file QLP_CONFIG.INI at that path");
  }
  initialised = kSecond;
  return kOk;
}

uint16_t QLP_CALL LnkTermin() {
  LogLine("LnkTermin");
  initialised = kNone;
  return kOk;
}

uint16_t QLP_CALL LnkIdentify(char* identity) {
  LogLine("LnkIdentify");
  RunFromData(1);
  if (identity == nullptr) return kBadArgument;
  std::memset(identity, 0, kQlpIdentifySize);
  std::snprintf(identity, kQlpIdentifySize, "QLP stand-in library");
  return kOk;
}

uint16_t QLP_CALL LnkConnect(uint8_t link, uint8_t port, const char* lineText) {
  LogLine("LnkConnect %u %u %s", link, port, lineText ? lineText : "-");
  RunFromData(2);
  if (lineText == nullptr) return Refuse(kBadArgument, "no line text");
  const char* text = lineText;
  unsigned long baud = 0;
  if (!ParseNumber(&text, text + std::strlen(text), &baud) || std::strcmp(text, ",1,8,0,0") != 0) {
    return Refuse(kBadFraming, "the line text is not BAUD,1,8,0,0");
  }
  return ConnectAt(kSecond, link, port, baud);
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
  return ExchangeOn(kSecond, link, port, padReader, tMax, command, commandLength, response,
                    responseLength);
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
  initialised = kNone;
  if (padStation > 15) return Refuse(kBadArgument, "station PAD %u above 15", padStation);
  if (configFirst != 4000 || configThird != 10000 || configMiddle == 0 || tReponse == 0) {
    return Refuse(kBadArgument, "Config %u,%u,%u and tReponse %u, not 4000,N,10000 and N > 0",
                  configFirst, configMiddle, configThird, tReponse);
  }
  initialised = kFirst;
  return kOk;
}

uint16_t QLP_CALL LNK_Connect(uint8_t link, uint8_t port, SerialFraming framing) {
  LogLine("LNK_Connect %u %u %u %u %u %u %u", link, port, framing.speedMultiplier,
          framing.framingExtra, framing.dataBits, framing.parity, framing.stop);
  if (framing.speedMultiplier < 1 || framing.speedMultiplier > 2 || framing.framingExtra != 1 ||
      framing.dataBits != 8 || framing.parity != 0 || framing.stop != 0) {
    return Refuse(kBadFraming, "the framing is not {1 or 2, 1, 8, 0, 0}");
  }
  return ConnectAt(kFirst, link, port, framing.speedMultiplier * 9600ul);
}

uint16_t QLP_CALL LNK_Exchange(uint8_t padReader, const unsigned char* command,
                               uint32_t commandLength, uint16_t tMax, uint8_t link, uint8_t port,
                               uint8_t flags, unsigned char* response, uint32_t* responseLength) {
  char hex[129];
  char capacity[16];
  LogLine("LNK_Exchange %u %s %lu %u %u %u %u %s", padReader,
          Hex(command, commandLength, hex, sizeof hex), static_cast<unsigned long>(commandLength),
          tMax, link, port, flags, Length(responseLength, capacity, sizeof capacity));
  if (flags != 0) return Refuse(kBadArgument, "flags %u, not 0", flags);
  return ExchangeOn(kFirst, link, port, padReader, tMax, command, commandLength, response,
                    responseLength);
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
