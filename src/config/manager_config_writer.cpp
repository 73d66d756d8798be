#include "config/manager_config_writer.h"

#include <cstdio>
#include <cstring>

#include "config/earlier_config.h"
#include "platform/profile.h"
#include "platform/text_file.h"
#include "platform/trace.h"

namespace {

std::string Decimal(int32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(number));
  return text;
}

// The reader name as it may stand on one line: a CR, LF or other control character
// could break the line and add sections or keys, so each becomes a blank.
std::string OneLine(const char* text) {
  std::string line = text != nullptr ? text : "";
  for (char& c : line) c = platform::OneLineByte(c);
  return line;
}

// A logical reader's name, and its alias when it has one.
struct LogicalName {
  std::string name;
  const char* alias;
};

// Channel 1 carries the unnumbered names, the others the number n - 1.
LogicalName SerialName(const char* base, int32_t n, const char* alias) {
  if (n == 1) return LogicalName{base, alias};
  return LogicalName{base + Decimal(n - 1), nullptr};
}

// PC/SC readers go in pairs: k odd a professional-card reader, k even a patient-card
// one, numbered n div 2 and (n - 1) div 2; channels 1 and 2 take the unnumbered names.
LogicalName PcscName(int32_t n, int32_t k) {
  if (k % 2 != 0) {
    if (n == 1) return LogicalName{"CPS", "TRANSPA1"};
    return LogicalName{"CPS" + Decimal(n / 2), nullptr};
  }
  if (n == 2) return LogicalName{"Bemira", "TRANSPA2"};
  return LogicalName{"Bemira" + Decimal((n - 1) / 2), nullptr};
}

void Put(ConfigStream& stream, const std::string& line) { stream.WriteLine(line.c_str()); }

std::string Section(int32_t n) { return "[CANAL" + Decimal(n); }

// The block every channel n starts with: the channel, then its one PAD with `ladCount`
// logical readers.
void ChannelHeader(ConfigStream& stream, int32_t n, int type, int32_t index, int protocol,
                   const std::string& characteristics, int pad, int ladCount) {
  const std::string section = Section(n);
  const std::string lines[] = {
      section + "]", "TCanal=" + Decimal(type), "Index=" + Decimal(index),
      "Protocole=" + Decimal(protocol), "Caracteristiques=" + characteristics, "NbPAD=1", "",
      section + ".PAD1]", "PAD=" + Decimal(pad), "NbLAD=" + Decimal(ladCount), ""};
  for (const std::string& line : lines) Put(stream, line);
}

// Logical reader `m` of the PAD of channel n, at address `lad`.
void LogicalReader(ConfigStream& stream, int32_t n, int m, int lad, const LogicalName& name) {
  Put(stream, Section(n) + ".PAD1.LAD" + Decimal(m) + "]");
  Put(stream, "LAD=" + Decimal(lad));
  Put(stream, "NomLAD=" + name.name);
  Put(stream, name.alias != nullptr ? "NbAlias=1" : "NbAlias=0");
  if (name.alias != nullptr) Put(stream, std::string("NomAlias1=") + name.alias);
  Put(stream, "");
}

}  // namespace

ManagerConfigWriter::ManagerConfigWriter() : ManagerConfigWriter(configStream) {}

ManagerConfigWriter::ManagerConfigWriter(ConfigStream& output)
    : headerPending(1),
      qlpProtocolPending(1),
      pcscProtocolPending(1),
      channelCount(0),
      pcscChannelCount(0),
      listSet(false),
      stream(output) {}

ManagerConfigWriter::~ManagerConfigWriter() {
  // Closed before the replacement's end, which may remove the new file.
  if (stream.IsOpen()) stream.Close();
}

void ManagerConfigWriter::OpenForAppend() {
  // Only the file this writer made is opened again, never one that lay there before or that
  // the open would create.
  if (!stream.IsOpen()) {
    stream.Open(replacement.NewFileInPlace() ? replacement.NewPath() : "", ConfigStream::kAppend);
  }
}

void ManagerConfigWriter::WriteHeader() {
  // The new file is created, never opened: an open stream cannot be opened again, and
  // the open fails and the stream keeps its failed state.
  const bool created = stream.Open(replacement.NewPath(), ConfigStream::kNew) && !stream.Failed();
  replacement.NewFileCreated(created, stream.Error());
  Put(stream, "; Fichier de configuration du TELMAR dans l'environnement Windows.");
  Put(stream, "; Fichier g\xE9n\xE9r\xE9 automatiquement lors de la primo-installation.");
  Put(stream, "; Le protocole velmora (QLP) est utilis\xE9.");
  Put(stream, "");
  headerPending = 0;
}

void ManagerConfigWriter::WriteProtocolBlock(int32_t* pending, const char* const* lines) {
  if (*pending != 1) return;
  if (headerPending == 1) WriteHeader();
  OpenForAppend();
  for (; *lines != nullptr; ++lines) Put(stream, *lines);
  stream.Close();
  *pending = 0;  // written or not, a protocol block is tried once only
}

void ManagerConfigWriter::WriteQlpProtocol() {
  static const char* const kBlock[] = {";Protocole QLP", "[PROTOCOLE0]", "Config=1000,20,15000",
                                       "NomLib=QLPINW32.DLL", "", nullptr};
  WriteProtocolBlock(&qlpProtocolPending, kBlock);
}

void ManagerConfigWriter::WritePcscProtocol() {
  static const char* const kBlock[] = {";Protocole PC/SC", "[PROTOCOLE1]", "Config=0",
                                       "NomLib=CRDLW32.DLL", "ListeCanaux=", "", nullptr};
  WriteProtocolBlock(&pcscProtocolPending, kBlock);
}

void ManagerConfigWriter::WriteConfigSection() {
  OpenForAppend();
  Put(stream, "[CONFIG]");
  Put(stream, "NbCanaux=");
  Put(stream, "");
  stream.Close();
}

void ManagerConfigWriter::AddSerialChannel(int32_t port, int32_t baud) {
  channelCount += 1;
  const int32_t n = channelCount;
  if (n == 1) WriteConfigSection();
  platform::Trace("channel %ld: serial reader on COM%ld at %ld baud", long(n), long(port),
                  long(baud));
  OpenForAppend();
  ChannelHeader(stream, n, 1, port, 0, Decimal(baud) + ",1,8,0,0", 2, 3);
  LogicalReader(stream, n, 1, 1, SerialName("CPS", n, "TRANSPA1"));
  LogicalReader(stream, n, 2, 0, SerialName("Log_TZ", n, nullptr));
  LogicalReader(stream, n, 3, 2, SerialName("Bemira", n, "TRANSPA2"));
  stream.Close();
}

void ManagerConfigWriter::AddPcscChannel(const char* readerName) {
  channelCount += 1;
  pcscChannelCount += 1;
  const int32_t n = channelCount;
  const int32_t k = pcscChannelCount;
  if (n == 1) WriteConfigSection();
  if (k == 1) {
    channelList = Decimal(n);
  } else {
    channelList += "," + Decimal(n);
  }
  platform::Trace("channel %ld: PC/SC reader \"%s\"", long(n), readerName ? readerName : "");
  OpenForAppend();
  ChannelHeader(stream, n, 3, k, 1, OneLine(readerName), 0, 1);
  LogicalReader(stream, n, 1, 1, PcscName(n, k));
  stream.Close();
}

bool ManagerConfigWriter::NewFileComplete() const {
  return replacement.NewFileMade() && !stream.Failed();
}

bool ManagerConfigWriter::FillIn(const char* section, const char* key, const char* value,
                                 const char* step) {
  // A file that lacks blocks gets nothing more: its own failure is the one to report.
  return NewFileComplete() && replacement.SetValue(section, key, value, step);
}

uint16_t ManagerConfigWriter::SetChannelList() {
  listSet = FillIn("PROTOCOLE1", "ListeCanaux", channelList.c_str(), "setting ListeCanaux");
  const uint16_t status = listSet ? 0 : CONFIG_FILE_ERROR;
  platform::Trace("ListeCanaux=%s: status %u", channelList.c_str(), status);
  return status;
}

uint16_t ManagerConfigWriter::SetChannelCount(int32_t total) {
  const bool set = FillIn("CONFIG", "NbCanaux", Decimal(total).c_str(), "setting NbCanaux");
  platform::Trace("NbCanaux=%ld: status %u", long(total), set ? 0 : CONFIG_FILE_ERROR);
  return PutInPlace() ? 0 : CONFIG_FILE_ERROR;  // a count not set is a failed step
}

void ManagerConfigWriter::KeepEarlierFile(const char* why) { replacement.KeepEarlierFile(why); }

bool ManagerConfigWriter::EarlierFileListsSerialReader(int32_t port) const {
  return replacement.FilePath()[0] != '\0' && ListsSerialChannel(replacement.FilePath(), port);
}

bool ManagerConfigWriter::PutInPlace() {
  // Closed first: an open stream would keep the new file from being moved.
  if (stream.IsOpen()) stream.Close();
  if (!NewFileComplete()) replacement.StepFailed("writing the new file", stream.Error());
  if (pcscChannelCount > 0 && !listSet) replacement.StepFailed("setting ListeCanaux", 0);
  return replacement.Finish();
}
