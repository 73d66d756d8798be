#include "serial/serial_param_file.h"

#include <cstdio>
#include <cstring>

#include "platform/decimal.h"
#include "platform/new_file.h"
#include "platform/profile.h"
#include "platform/system_error.h"
#include "platform/text_file.h"
#include "platform/trace.h"

uint8_t comPort = 1;
uint8_t padStation = 15;
uint16_t configMiddle = 300;
uint16_t tReponse = 1000;
uint16_t tMax = 65535;
uint16_t simulatorType = 0;

namespace {

const char kFileName[] = "QLP_CONFIG.INI";
// The Linux profile engine's temporary file for it (see posix/file_update.h).
const char kProfileTemporaryName[] = "QLP_CONFIG.INI.tmp";

// Every value is read into one buffer of this size, so a value keeps 19 characters.
const unsigned long kValueSize = 20;

// One key of the file: its section, its name, and the value buffer it is read into.
class KeyReader {
 public:
  KeyReader(const char* path, platform::OwnFile& file)
      : path_(path), file_(file), section_(""), key_("") {
    value_[0] = '\0';
  }

  // Reads `key`, or `defaultText` when it is absent, into the value buffer.
  const char* Read(const char* section, const char* key, const char* defaultText) {
    section_ = section;
    key_ = key;
    platform::ReadProfileString(section, key, defaultText, value_, kValueSize, path_);
    value_[kValueSize - 1] = '\0';
    return value_;
  }

  // Reads `key` with the unsigned decimal `current` as default; returns its number.
  int32_t ReadNumber(const char* section, const char* key, unsigned current) {
    char defaultText[kValueSize];
    std::snprintf(defaultText, sizeof defaultText, "%u", current);
    return platform::DecimalNumber(Read(section, key, defaultText));
  }

  // Writes the value buffer back as `key`, into the file the run made and only while it is
  // still in place: the update would create a file holding nothing but this key. False when
  // that failed.
  bool WriteBack(const char* section, const char* key) {
    if (file_.WriteProfileString(section, key, value_)) return true;
    if (file_.Made() && !file_.InPlace()) {
      platform::Trace("parameter file %s: removed or replaced by another program", path_);
    }
    return false;
  }

  char* Value() { return value_; }
  // The section and key read last: the one a failure stopped at.
  const char* Section() const { return section_; }
  const char* Key() const { return key_; }

 private:
  const char* path_;
  platform::OwnFile& file_;
  const char* section_;
  const char* key_;
  char value_[kValueSize];
};

// Splits the "Config" value at commas (runs of commas count as one separator) into up to
// three numbers; false when fewer than three pieces are there. The numbers already
// converted are stored even then.
bool SplitConfig(const char* value, uint16_t* numbers[3]) {
  int stored = 0;
  const char* piece = value;
  while (stored < 3) {
    while (*piece == ',') ++piece;
    if (*piece == '\0') return false;
    *numbers[stored++] = static_cast<uint16_t>(platform::DecimalNumber(piece));
    while (*piece != '\0' && *piece != ',') ++piece;
  }
  return true;
}

// Reads, checks and writes back every key in turn: 0, or the status of the first failure.
uint16_t ReadKeys(KeyReader& reader, SerialFraming& framing, ProtocolParams& protocol,
                  uint8_t& port, uint8_t& station, uint16_t& simulator);

}  // namespace

SerialParamFile::SerialParamFile() : path(), file(path) {
  if (!platform::DataFilePath(kFileName, path, sizeof path)) {
    path[0] = '\0';
    platform::Trace("parameter file: no path, nothing written");
    return;
  }
  platform::RemoveDataFolderLeftover(kProfileTemporaryName);
  // The second-generation library reads the file itself: it starts with the reader line.
  char content[128];
  std::snprintf(content, sizeof content,
                "[SERIE]\nVitesse=%u\nDonnees=%u\nParite=%u\nStop=%u\nType=0\n"
                "[PROTOCOLE0]\nConfig=1000,15,15000",
                kReaderLine.speedMultiplier * 9600u, kReaderLine.dataBits, kReaderLine.parity,
                kReaderLine.stop);
  // Whatever lay at the path goes first, a link itself: the file is made afresh, never
  // opened, so nothing outside the data folder is written and no open waits on a pipe.
  platform::TextFile text;
  bool written = text.Open(path, platform::TextFile::kNew);
  const bool created = written;
  for (char* line = std::strtok(content, "\n"); written && line != nullptr;
       line = std::strtok(nullptr, "\n")) {
    written = text.WriteLine(line);
  }
  written = (!created || text.Close()) && written;
  if (written) {
    file.Note();
    platform::Trace("parameter file %s: default content written", path);
    return;
  }
  platform::Trace("parameter file %s: default content could not be written: %s", path,
                  platform::SystemErrorText(platform::LastSystemError()).c_str());
  // A file without its whole content goes: the read-back, which would fill in what it lacks
  // with values of its own, then fails at once.
  if (created) platform::RemoveName(path);
}

SerialParamFile::~SerialParamFile() { Remove(); }

void SerialParamFile::Remove() { file.Remove(); }

uint16_t SerialParamFile::ReadParams(SerialFraming& framing, ProtocolParams& protocol,
                                     uint8_t& port, uint8_t& station, uint16_t& simulator) {
  // Without a path the first write-back ("Type") could not succeed.
  if (path[0] == '\0') {
    platform::Trace("parameter file: no path; read-back status %u", PARAM_FILE_ERROR);
    return PARAM_FILE_ERROR;
  }
  KeyReader reader(path, file);
  const uint16_t status = ReadKeys(reader, framing, protocol, port, station, simulator);
  if (status == 0) {
    platform::Trace("parameter file read back: status 0");
  } else {
    platform::Trace("parameter file read back: status %u at [%s] %s", status, reader.Section(),
                    reader.Key());
  }
  return status;
}

namespace {

uint16_t ReadKeys(KeyReader& reader, SerialFraming& framing, ProtocolParams& protocol,
                  uint8_t& port, uint8_t& station, uint16_t& simulator) {
  simulator = static_cast<uint16_t>(reader.ReadNumber("SERIE", "Type", simulator));
  if (!reader.WriteBack("SERIE", "Type")) return PARAM_FILE_ERROR;

  // "Port" holds "COM<n>": the number after the first three characters. A shorter
  // value leaves no number, which gives 0. Never written back.
  const char* portText = reader.Read("SERIE", "Port", "COM1");
  port = std::strlen(portText) >= 3 ? static_cast<uint8_t>(platform::DecimalNumber(portText + 3)) : 0;

  framing.speedMultiplier = static_cast<uint16_t>(
      reader.ReadNumber("SERIE", "Vitesse", framing.speedMultiplier * 9600u) / 9600);
  if (framing.speedMultiplier != 1 && framing.speedMultiplier != 2) return PARAM_BAD_SPEED;
  if (!reader.WriteBack("SERIE", "Vitesse")) return PARAM_FILE_ERROR;

  framing.dataBits = static_cast<uint8_t>(reader.ReadNumber("SERIE", "Donnees", framing.dataBits));
  if (framing.dataBits != 7 && framing.dataBits != 8) return PARAM_BAD_DATA_BITS;
  if (!reader.WriteBack("SERIE", "Donnees")) return PARAM_FILE_ERROR;

  framing.parity = static_cast<uint8_t>(reader.ReadNumber("SERIE", "Parite", framing.parity));
  if (framing.parity > 2) return PARAM_BAD_PARITY;
  if (!reader.WriteBack("SERIE", "Parite")) return PARAM_FILE_ERROR;

  framing.stop = static_cast<uint8_t>(reader.ReadNumber("SERIE", "Stop", framing.stop));
  if (framing.stop > 2) return PARAM_BAD_STOP;
  if (!reader.WriteBack("SERIE", "Stop")) return PARAM_FILE_ERROR;

  station = static_cast<uint8_t>(reader.ReadNumber("QLP", "PAD_STATION", station));
  if (station > 15) return PARAM_BAD_PAD_STATION;
  if (!reader.WriteBack("QLP", "PAD_STATION")) return PARAM_FILE_ERROR;

  protocol.padReader =
      static_cast<uint8_t>(reader.ReadNumber("QLP", "PAD_LECTEUR", protocol.padReader));
  if (protocol.padReader > 15) return PARAM_BAD_PAD_READER;
  if (!reader.WriteBack("QLP", "PAD_LECTEUR")) return PARAM_FILE_ERROR;

  // "Config" is written back in its canonical form "first,middle,third".
  char defaultConfig[kValueSize];
  std::snprintf(defaultConfig, sizeof defaultConfig, "%u,%u,%u", protocol.configFirst,
                configMiddle, protocol.configThird);
  uint16_t* numbers[3] = {&protocol.configFirst, &configMiddle, &protocol.configThird};
  const bool complete = SplitConfig(reader.Read("PROTOCOLE0", "Config", defaultConfig), numbers);
  std::snprintf(reader.Value(), kValueSize, "%u,%u,%u", protocol.configFirst, configMiddle,
                protocol.configThird);
  if (!complete) return PARAM_FILE_ERROR;
  if (!reader.WriteBack("PROTOCOLE0", "Config")) return PARAM_FILE_ERROR;

  tReponse = static_cast<uint16_t>(reader.ReadNumber("QLP", "TReponse", tReponse));
  if (!reader.WriteBack("QLP", "TReponse")) return PARAM_FILE_ERROR;

  tMax = static_cast<uint16_t>(reader.ReadNumber("QLP", "TMax", tMax));
  if (!reader.WriteBack("QLP", "TMax")) return PARAM_FILE_ERROR;
  return 0;
}

}  // namespace
