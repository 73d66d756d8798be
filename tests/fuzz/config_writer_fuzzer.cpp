// The configuration writer driven as the probe driver drives it, with any mix of serial
// and PC/SC readers and any reader names.
//
// Input:
//   byte     number of serial readers, modulo 9
//   byte     flags: bit 0 an earlier "telmar.old" full of sections lies there first;
//            bit 1 the protocol operations are repeated (harmlessly) between channels;
//            bit 2 SetChannelCount gets a number from the input instead of the total
//   per serial reader: u32 COM port number, then a byte: bit 0 19200 baud (else 9600),
//            bit 1 a u32 baud rate follows instead
//   [u32 channel count, with flags bit 2]
//   the PC/SC reader names to the end, each ended by a NUL (at most 32)
//
// Checked: every operation succeeds; every line ends in CR LF; the file holds exactly
// the lines of the blocks written (nothing of the earlier file survives); the lines
// that open sections are exactly the sections of those blocks, in order, and every
// other line is an empty line, one of the five comments, or a key of the format: a
// reader name can neither break a line nor add a section or a key; each PC/SC name
// stands whole on its "Caracteristiques=" line, control characters as blanks; the
// completed ListeCanaux and NbCanaux read back as the channel list and count.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "config/config_stream.h"
#include "config/manager_config_writer.h"
#include "fuzz_support.h"
#include "platform/profile.h"
#include "support/lines.h"

namespace {

const int kMostPcscReaders = 32;

struct SerialReader {
  int32_t port;
  int32_t baud;
};

std::string Number(int64_t n) { return std::to_string(n); }

std::string ReadKey(const char* section, const char* key, const std::string& path,
                    size_t size) {
  std::vector<char> value(size);
  platform::ReadProfileString(section, key, "<absent>", value.data(),
                              static_cast<unsigned long>(value.size()), path.c_str());
  return std::string(value.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::PrepareDataFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzz_support::PrepareDataFolder() + "/telmar.old";
  fuzz_support::InputCursor input(data, size);
  const int serialCount = input.Byte() % 9;
  const uint8_t flags = input.Byte();
  std::vector<SerialReader> serial;
  for (int i = 0; i < serialCount; ++i) {
    SerialReader reader;
    reader.port = static_cast<int32_t>(input.U32());
    const uint8_t speed = input.Byte();
    reader.baud = (speed & 1) ? 19200 : 9600;
    if (speed & 2) reader.baud = static_cast<int32_t>(input.U32());
    serial.push_back(reader);
  }
  const int32_t chosenTotal = (flags & 4) ? static_cast<int32_t>(input.U32()) : 0;
  std::vector<std::string> names;
  while (!input.AtEnd() && names.size() < kMostPcscReaders) names.push_back(input.Text());
  const int s = serialCount;
  const int p = static_cast<int>(names.size());
  if (s + p == 0) return 0;  // no reader: the driver writes nothing
  const int32_t total = (flags & 4) ? chosenTotal : s + p;
  const bool repeat = (flags & 2) != 0;

  if (flags & 1) {
    const std::string earlier =
        "[CONFIG]\r\nNbCanaux=99\r\n[PROTOCOLE1]\r\nListeCanaux=77\r\n[CANAL1]\r\nX=1\r\n";
    fuzz_support::WriteBytes(path, earlier.data(), earlier.size());
  } else {
    fuzz_support::RemovePath(path);
  }

  {
    ConfigStream stream;
    ManagerConfigWriter writer(stream);
    for (int i = 0; i < s; ++i) {
      if (i == 0) {
        writer.WriteQlpProtocol();
        if (p > 0) writer.WritePcscProtocol();
      } else if (repeat) {
        writer.WriteQlpProtocol();
        if (p > 0) writer.WritePcscProtocol();
      }
      writer.AddSerialChannel(serial[i].port, serial[i].baud);
    }
    if (p > 0) {
      writer.WritePcscProtocol();
      for (int k = 0; k < p; ++k) {
        if (repeat && k > 0) {
          writer.WritePcscProtocol();
          if (s > 0) writer.WriteQlpProtocol();
        }
        writer.AddPcscChannel(names[k].c_str());
      }
      FUZZ_REQUIRE(writer.SetChannelList() == 0);
    }
    FUZZ_REQUIRE(writer.SetChannelCount(total) == 0);
    FUZZ_REQUIRE(!stream.Failed());
  }

  const std::string content = fuzz_support::ReadBytes(path);
  for (size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\n') FUZZ_REQUIRE(i > 0 && content[i - 1] == '\r');
    if (content[i] == '\r') FUZZ_REQUIRE(i + 1 < content.size() && content[i + 1] == '\n');
  }
  FUZZ_REQUIRE(content.empty() || content.back() == '\n');  // the last line ends in CR LF too
  const std::vector<std::string> lines = testing_support::SplitLines(content);

  // The blocks written, in order.
  size_t expectedLines = 4 + 3;
  std::vector<std::string> sections;
  if (s > 0) {
    expectedLines += 5;
    sections.push_back("[PROTOCOLE0]");
  }
  if (p > 0) {
    expectedLines += 6;
    sections.push_back("[PROTOCOLE1]");
  }
  sections.push_back("[CONFIG]");
  for (int n = 1; n <= s + p; ++n) {
    const std::string channel = "[CANAL" + Number(n);
    sections.push_back(channel + "]");
    sections.push_back(channel + ".PAD1]");
    if (n <= s) {
      expectedLines += n == 1 ? 28 : 26;
      for (int m = 1; m <= 3; ++m) sections.push_back(channel + ".PAD1.LAD" + Number(m) + "]");
    } else {
      const int k = n - s;
      const bool alias = (k % 2 == 1 && n == 1) || (k % 2 == 0 && n == 2);
      expectedLines += alias ? 17 : 16;
      sections.push_back(channel + ".PAD1.LAD1]");
    }
  }
  FUZZ_REQUIRE(lines.size() == expectedLines);

  static const std::set<std::string> keys = {
      "Config", "NomLib", "ListeCanaux", "NbCanaux", "TCanal",  "Index",    "Protocole",
      "Caracteristiques", "NbPAD", "PAD", "NbLAD", "LAD", "NomLAD", "NbAlias", "NomAlias1"};
  std::vector<std::string> sectionLines;
  std::vector<std::string> pcscCharacteristics;
  int comments = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    if (line[0] == ';') {
      ++comments;
    } else if (line[0] == '[') {
      sectionLines.push_back(line);
    } else {
      const size_t equals = line.find('=');
      FUZZ_REQUIRE(equals != std::string::npos);
      FUZZ_REQUIRE(keys.count(line.substr(0, equals)) == 1);
      // A PC/SC channel's characteristics come three lines after its "TCanal=3".
      if (line.compare(0, 17, "Caracteristiques=") == 0 && i >= 3 && lines[i - 3] == "TCanal=3") {
        pcscCharacteristics.push_back(line.substr(17));
      }
    }
  }
  FUZZ_REQUIRE(comments == 3 + (s > 0) + (p > 0));
  FUZZ_REQUIRE(sectionLines == sections);
  FUZZ_REQUIRE(pcscCharacteristics.size() == names.size());
  for (size_t k = 0; k < names.size(); ++k) {
    std::string expected = names[k];
    for (char& c : expected) {
      const unsigned char byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    FUZZ_REQUIRE(pcscCharacteristics[k] == expected);
  }

  const size_t valueSize = content.size() + 1;
  FUZZ_REQUIRE(ReadKey("CONFIG", "NbCanaux", path, valueSize) == Number(total));
  if (p > 0) {
    std::string list;
    for (int n = s + 1; n <= s + p; ++n) list += (n > s + 1 ? "," : "") + Number(n);
    FUZZ_REQUIRE(ReadKey("PROTOCOLE1", "ListeCanaux", path, valueSize) == list);
  } else {
    FUZZ_REQUIRE(ReadKey("PROTOCOLE1", "ListeCanaux", path, valueSize) == "<absent>");
  }
  return 0;
}
