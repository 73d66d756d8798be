#include "config/manager_config_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/version.h"
#include "support/lines.h"
#include "support/temp_dir.h"

namespace {

using testing_support::CrLfLines;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

unsigned MajorVersion5() { return 5; }
unsigned MajorVersion6() { return 6; }

// Puts a version source in platform::versionApi for the length of a scope.
class ScopedVersion {
 public:
  explicit ScopedVersion(unsigned (*major)()) : saved_(platform::versionApi) {
    platform::versionApi.majorVersion = major;
  }
  ~ScopedVersion() { platform::versionApi = saved_; }

 private:
  platform::VersionApi saved_;
};

// The lines from `header` up to the next empty line, that one excluded.
std::vector<std::string> Block(const std::string& content, const std::string& header) {
  std::vector<std::string> lines = SplitLines(content);
  std::vector<std::string> block;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != header) continue;
    for (size_t j = i; j < lines.size() && !lines[j].empty(); ++j) block.push_back(lines[j]);
    break;
  }
  return block;
}

size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return lines.size();
}

size_t CountOf(const std::vector<std::string>& lines, const std::string& line) {
  size_t count = 0;
  for (const std::string& each : lines) count += each == line ? 1 : 0;
  return count;
}

std::string Value(const std::string& path, const char* section, const char* key) {
  char out[4096];
  platform::ReadProfileString(section, key, "<absent>", out, sizeof out, path.c_str());
  return out;
}

class ConfigWriterTest : public ::testing::Test {
 protected:
  ConfigWriterTest()
      : profile("ALLUSERSPROFILE", dir.path().c_str()),
        version(MajorVersion6),
        path(dir.Join("velmora/telmarv3/telmar.old")),
        newPath(path + ".new") {}

  void MakeDataFolder() { dir.MakeDir("velmora/telmarv3"); }

  // The probe driver's calling order: serial readers on COM ports 1, 2, ... at 19200,
  // then PC/SC readers named "Reader 1", "Reader 2", ..., then both totals.
  void Run(int serial, int pcsc, uint16_t* listStatus = nullptr,
           uint16_t* countStatus = nullptr) {
    ConfigStream stream;
    ManagerConfigWriter writer(stream);
    for (int i = 1; i <= serial; ++i) {
      if (i == 1) {
        writer.WriteQlpProtocol();
        if (pcsc > 0) writer.WritePcscProtocol();
      }
      writer.AddSerialChannel(i, 19200);
    }
    if (pcsc > 0) {
      writer.WritePcscProtocol();
      for (int k = 1; k <= pcsc; ++k) writer.AddPcscChannel(("Reader " + std::to_string(k)).c_str());
      uint16_t status = writer.SetChannelList();
      if (listStatus) *listStatus = status;
    }
    uint16_t status = writer.SetChannelCount(serial + pcsc);
    if (countStatus) *countStatus = status;
  }

  TempDir dir;
  ScopedEnv profile;
  ScopedVersion version;
  std::string path;
  std::string newPath;  // where the file is built until it is complete
};

const char* const kHeader[] = {
    "; Fichier de configuration du TELMAR dans l'environnement Windows.",
    "; Fichier g\xE9n\xE9r\xE9 automatiquement lors de la primo-installation.",
    "; Le protocole velmora (QLP) est utilis\xE9.",
    "",
};

TEST_F(ConfigWriterTest, WorkedExampleByteForByte) {
  MakeDataFolder();
  ConfigStream stream;
  ManagerConfigWriter writer(stream);
  writer.WriteQlpProtocol();
  writer.WritePcscProtocol();
  writer.AddSerialChannel(3, 19200);
  writer.WritePcscProtocol();
  writer.AddPcscChannel("Reader A");
  EXPECT_EQ(0, writer.SetChannelList());
  EXPECT_EQ(0, writer.SetChannelCount(2));

  const std::string expected = CrLfLines({
      kHeader[0], kHeader[1], kHeader[2], "",
      ";Protocole QLP", "[PROTOCOLE0]", "Config=1000,20,15000", "NomLib=QLPINW32.DLL", "",
      ";Protocole PC/SC", "[PROTOCOLE1]", "Config=0", "NomLib=CRDLW32.DLL", "ListeCanaux=2", "",
      "[CONFIG]", "NbCanaux=2", "",
      "[CANAL1]", "TCanal=1", "Index=3", "Protocole=0", "Caracteristiques=19200,1,8,0,0",
      "NbPAD=1", "",
      "[CANAL1.PAD1]", "PAD=2", "NbLAD=3", "",
      "[CANAL1.PAD1.LAD1]", "LAD=1", "NomLAD=CPS", "NbAlias=1", "NomAlias1=TRANSPA1", "",
      "[CANAL1.PAD1.LAD2]", "LAD=0", "NomLAD=Log_TZ", "NbAlias=0", "",
      "[CANAL1.PAD1.LAD3]", "LAD=2", "NomLAD=Bemira", "NbAlias=1", "NomAlias1=TRANSPA2", "",
      "[CANAL2]", "TCanal=3", "Index=1", "Protocole=1", "Caracteristiques=Reader A", "NbPAD=1",
      "",
      "[CANAL2.PAD1]", "PAD=0", "NbLAD=1", "",
      "[CANAL2.PAD1.LAD1]", "LAD=1", "NomLAD=CPS1", "NbAlias=0", "",
  });
  std::string content = ReadFile(path);
  EXPECT_EQ(62u, SplitLines(content).size());
  EXPECT_EQ(expected, content);
}

// Names of the logical readers for 0 to 3 serial channels followed by 4 PC/SC channels.
TEST_F(ConfigWriterTest, LogicalReaderNaming) {
  MakeDataFolder();
  const char* const pcscNames[4][4] = {
      {"CPS", "Bemira", "CPS1", "Bemira1"},
      {"CPS1", "Bemira1", "CPS2", "Bemira2"},
      {"CPS1", "Bemira1", "CPS2", "Bemira2"},
      {"CPS2", "Bemira2", "CPS3", "Bemira3"},
  };
  for (int serial = 0; serial <= 3; ++serial) {
    SCOPED_TRACE("serial channels: " + std::to_string(serial));
    Run(serial, 4);
    std::string content = ReadFile(path);
    for (int n = 1; n <= serial; ++n) {
      std::string section = "[CANAL" + std::to_string(n) + ".PAD1.LAD";
      std::string number = n == 1 ? "" : std::to_string(n - 1);
      std::vector<std::string> cps = {section + "1]", "LAD=1", "NomLAD=CPS" + number};
      std::vector<std::string> logTz = {section + "2]", "LAD=0", "NomLAD=Log_TZ" + number,
                                        "NbAlias=0"};
      std::vector<std::string> bemira = {section + "3]", "LAD=2", "NomLAD=Bemira" + number};
      if (n == 1) {
        cps.insert(cps.end(), {"NbAlias=1", "NomAlias1=TRANSPA1"});
        bemira.insert(bemira.end(), {"NbAlias=1", "NomAlias1=TRANSPA2"});
      } else {
        cps.push_back("NbAlias=0");
        bemira.push_back("NbAlias=0");
      }
      EXPECT_EQ(cps, Block(content, section + "1]"));
      EXPECT_EQ(logTz, Block(content, section + "2]"));
      EXPECT_EQ(bemira, Block(content, section + "3]"));
    }
    for (int k = 1; k <= 4; ++k) {
      std::string header = "[CANAL" + std::to_string(serial + k) + ".PAD1.LAD1]";
      std::vector<std::string> expected = {header, "LAD=1",
                                           std::string("NomLAD=") + pcscNames[serial][k - 1]};
      if (serial == 0 && k <= 2) {
        expected.push_back("NbAlias=1");
        expected.push_back(k == 1 ? "NomAlias1=TRANSPA1" : "NomAlias1=TRANSPA2");
      } else {
        expected.push_back("NbAlias=0");
      }
      EXPECT_EQ(expected, Block(content, header));
      std::string channel = "[CANAL" + std::to_string(serial + k) + "]";
      EXPECT_EQ("Index=" + std::to_string(k), Block(content, channel).at(2));
    }
  }
}

TEST_F(ConfigWriterTest, SerialReadersOnly) {
  MakeDataFolder();
  ConfigStream stream;
  ManagerConfigWriter writer(stream);
  writer.WriteQlpProtocol();
  writer.AddSerialChannel(12, 9600);
  writer.AddSerialChannel(3, 19200);
  EXPECT_EQ(0, writer.SetChannelCount(2));
  std::string content = ReadFile(path);
  std::vector<std::string> lines = SplitLines(content);
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(";Protocole QLP", lines[4]);
  EXPECT_EQ("", lines[8]);
  EXPECT_EQ(std::string::npos, content.find("PROTOCOLE1"));
  EXPECT_EQ(std::string::npos, content.find("ListeCanaux"));
  EXPECT_EQ((std::vector<std::string>{"[CANAL1]", "TCanal=1", "Index=12", "Protocole=0",
                                      "Caracteristiques=9600,1,8,0,0", "NbPAD=1"}),
            Block(content, "[CANAL1]"));
  // Channel 2: 26 lines, all logical readers numbered 1, no aliases.
  size_t start = IndexOf(lines, "[CANAL2]");
  ASSERT_EQ(lines.size() - 26, start);
  EXPECT_EQ((std::vector<std::string>{
                "[CANAL2]", "TCanal=1", "Index=3", "Protocole=0", "Caracteristiques=19200,1,8,0,0",
                "NbPAD=1", "", "[CANAL2.PAD1]", "PAD=2", "NbLAD=3", "", "[CANAL2.PAD1.LAD1]",
                "LAD=1", "NomLAD=CPS1", "NbAlias=0", "", "[CANAL2.PAD1.LAD2]", "LAD=0",
                "NomLAD=Log_TZ1", "NbAlias=0", "", "[CANAL2.PAD1.LAD3]", "LAD=2",
                "NomLAD=Bemira1", "NbAlias=0", ""}),
            std::vector<std::string>(lines.begin() + start, lines.end()));
  EXPECT_EQ("2", Value(path, "CONFIG", "NbCanaux"));
}

TEST_F(ConfigWriterTest, ChannelListAndCount) {
  MakeDataFolder();
  struct Case {
    int serial;
    int pcsc;
    const char* list;
  };
  const Case cases[] = {{1, 3, "2,3,4"}, {0, 4, "1,2,3,4"}, {2, 1, "3"}, {0, 2, "1,2"}};
  for (const Case& c : cases) {
    uint16_t listStatus = 1;
    uint16_t countStatus = 1;
    Run(c.serial, c.pcsc, &listStatus, &countStatus);
    EXPECT_EQ(0, listStatus);
    EXPECT_EQ(0, countStatus);
    EXPECT_EQ(c.list, Value(path, "PROTOCOLE1", "ListeCanaux"));
    EXPECT_EQ(std::to_string(c.serial + c.pcsc), Value(path, "CONFIG", "NbCanaux"));
    EXPECT_EQ(c.serial == 0, ReadFile(path).find("PROTOCOLE0") == std::string::npos);
  }
}

TEST_F(ConfigWriterTest, ConfigSectionStandsOnceBetweenProtocolsAndFirstChannel) {
  MakeDataFolder();
  const int mixes[][2] = {{1, 0}, {0, 1}, {2, 3}, {3, 0}, {0, 3}};
  for (const auto& mix : mixes) {
    Run(mix[0], mix[1]);
    std::vector<std::string> lines = SplitLines(ReadFile(path));
    EXPECT_EQ(1u, CountOf(lines, "[CONFIG]"));
    size_t config = IndexOf(lines, "[CONFIG]");
    ASSERT_LT(config + 3, lines.size());
    EXPECT_EQ("", lines[config - 1]);
    EXPECT_EQ("", lines[config + 2]);
    EXPECT_EQ("[CANAL1]", lines[config + 3]);
    const char* protocols[] = {"[PROTOCOLE0]", "[PROTOCOLE1]"};
    for (int family = 0; family < 2; ++family) {
      size_t at = IndexOf(lines, protocols[family]);
      EXPECT_EQ(mix[family] > 0, at != lines.size()) << protocols[family];
      if (at != lines.size()) {
        EXPECT_LT(at, config);
      }
    }
  }
}

// The file is built aside; the earlier one stays until the new one is complete.
TEST_F(ConfigWriterTest, PcscProtocolFirstThenQlpWithOneHeader) {
  MakeDataFolder();
  WriteFile(path, "an earlier file\r\n");
  ConfigStream stream;
  ManagerConfigWriter writer(stream);
  writer.WritePcscProtocol();
  writer.WriteQlpProtocol();
  EXPECT_EQ(CrLfLines({kHeader[0], kHeader[1], kHeader[2], "", ";Protocole PC/SC",
                       "[PROTOCOLE1]", "Config=0", "NomLib=CRDLW32.DLL", "ListeCanaux=", "",
                       ";Protocole QLP", "[PROTOCOLE0]", "Config=1000,20,15000",
                       "NomLib=QLPINW32.DLL", ""}),
            ReadFile(newPath));
  EXPECT_EQ("an earlier file\r\n", ReadFile(path));
}

TEST_F(ConfigWriterTest, SecondProtocolCallWritesNothing) {
  MakeDataFolder();
  ConfigStream stream;
  ManagerConfigWriter writer(stream);
  writer.WriteQlpProtocol();
  writer.WritePcscProtocol();
  const std::string once = ReadFile(newPath);
  writer.WriteQlpProtocol();
  writer.WritePcscProtocol();
  EXPECT_EQ(once, ReadFile(newPath));
  writer.AddPcscChannel("R");
  writer.WritePcscProtocol();
  writer.WriteQlpProtocol();
  std::vector<std::string> lines = SplitLines(ReadFile(newPath));
  EXPECT_EQ(1u, CountOf(lines, "[PROTOCOLE0]"));
  EXPECT_EQ(1u, CountOf(lines, "[PROTOCOLE1]"));
  EXPECT_EQ(1u, CountOf(lines, kHeader[1]));
}

TEST_F(ConfigWriterTest, LongerFileOfAnEarlierRunIsCutToTheNewContent) {
  MakeDataFolder();
  Run(3, 5);
  const std::string longer = ReadFile(path);
  Run(1, 0);
  const std::string shorter = ReadFile(path);
  EXPECT_LT(shorter.size(), longer.size());
  EXPECT_EQ(std::string::npos, shorter.find("PROTOCOLE1"));
  EXPECT_EQ(std::string::npos, shorter.find("[CANAL2]"));
  EXPECT_EQ("1", Value(path, "CONFIG", "NbCanaux"));
}

// Nor does it touch a new file that another run is building.
TEST_F(ConfigWriterTest, ConstructorAloneLeavesTheDiskUnchanged) {
  MakeDataFolder();
  {
    ConfigStream stream;
    ManagerConfigWriter writer(stream);
    EXPECT_FALSE(stream.IsOpen());
  }
  EXPECT_FALSE(FileExists(path));
  WriteFile(path, "earlier\r\n");
  WriteFile(newPath, "another run's\r\n");
  {
    ConfigStream stream;
    ManagerConfigWriter writer(stream);
  }
  EXPECT_EQ("earlier\r\n", ReadFile(path));
  EXPECT_EQ("another run's\r\n", ReadFile(newPath));
}

TEST_F(ConfigWriterTest, MissingDataFolderGivesNoFile) {
  uint16_t listStatus = 0;
  uint16_t countStatus = 0;
  Run(1, 2, &listStatus, &countStatus);
  EXPECT_EQ(CONFIG_FILE_ERROR, listStatus);
  EXPECT_EQ(CONFIG_FILE_ERROR, countStatus);
  EXPECT_FALSE(FileExists(dir.Join("velmora")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A file without its header never replaces anything, and nothing of it is left behind.
TEST_F(ConfigWriterTest, DataFolderCreatedBetweenOperationsGetsNoFile) {
  ConfigStream stream;
  ManagerConfigWriter writer(stream);
  writer.WriteQlpProtocol();
  writer.WritePcscProtocol();
  MakeDataFolder();
  writer.AddSerialChannel(1, 9600);
  writer.AddPcscChannel("Reader");
  EXPECT_EQ(CONFIG_FILE_ERROR, writer.SetChannelList());
  EXPECT_EQ(CONFIG_FILE_ERROR, writer.SetChannelCount(2));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Join("velmora/telmarv3")));
}

TEST_F(ConfigWriterTest, FailedHeaderOpenAppendsNothingToAnEarlierFile) {
  MakeDataFolder();
  WriteFile(path, "earlier\r\n");
  std::string other = dir.Join("other.txt");
  ConfigStream stream;
  ASSERT_TRUE(stream.Open(other.c_str(), ConfigStream::kAppend));
  ManagerConfigWriter writer(stream);
  writer.WriteQlpProtocol();  // its truncating open meets an open stream
  writer.AddSerialChannel(1, 9600);
  EXPECT_EQ("earlier\r\n", ReadFile(path));
  EXPECT_EQ("", ReadFile(other));
}

// Whatever stands in the way of the new file, the earlier one stays byte for byte and the
// data folder is left with nothing of this run's; leftovers in the new file's way go. The
// writer touches only the file it made: one that another program removed is not made again
// by a profile-string update, one put in its place is left alone. A file that lacks readers
// keeps an earlier one, and is written where there is none.
TEST_F(ConfigWriterTest, AFailureKeepsTheEarlierFileAndLeavesNoStray) {
  MakeDataFolder();
  const std::string other = dir.Join("other.txt");
  using Prepare = void (*)(const std::string& path, const std::string& other);
  const Prepare earlier = [](const std::string& p, const std::string&) {
    WriteFile(p, "earlier\r\n");
  };
  struct Case {
    const char* name;
    Prepare prepare;
    Prepare midway;       // after the channels, before the totals (on the new file's path)
    bool lacksReaders;    // KeepEarlierFile was called
    bool listAndCount;    // the driver's last two calls are made
    bool replaced;
    const char* newFile;  // what stays at the new file's path: null for nothing
  };
  const Case cases[] = {
      {"read-only telmar.old", [](const std::string& p, const std::string&) {
         WriteFile(p, "earlier\r\n");
         chmod(p.c_str(), 0444);
       }, nullptr, false, true, false, nullptr},
      {"telmar.old a folder", [](const std::string& p, const std::string&) {
         std::filesystem::create_directory(p);
       }, nullptr, false, true, false, nullptr},
      {"writer ends without its totals", earlier, nullptr, false, false, false, nullptr},
      {"leftovers: a link to another file, the profile engine's file",
       [](const std::string& p, const std::string& o) {
         WriteFile(p, "earlier\r\n");
         WriteFile(o, "another file\r\n");
         std::filesystem::create_symlink(o, p + ".new");
         WriteFile(p + ".new.tmp", "half");
       }, nullptr, false, true, true, nullptr},
      {"new file removed by another program", earlier,
       [](const std::string& n, const std::string&) { std::filesystem::remove(n); }, false, true,
       false, nullptr},
      {"another program's file in the new file's place", earlier,
       [](const std::string& n, const std::string&) {
         std::filesystem::remove(n);
         WriteFile(n, "another program's\r\n");
       }, false, true, false, "another program's\r\n"},
      {"the file lacks readers: the earlier one stays", earlier, nullptr, true, true, false,
       nullptr},
      {"the file lacks readers, but there is no earlier one", nullptr, nullptr, true, true, true,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.prepare != nullptr) c.prepare(path, other);
    const bool folder = std::filesystem::is_directory(path);
    const std::string before = folder ? "" : ReadFile(path);
    uint16_t countStatus = 0;
    {
      ConfigStream stream;
      ManagerConfigWriter writer(stream);
      if (c.lacksReaders) writer.KeepEarlierFile("no serial port probed");
      writer.WriteQlpProtocol();
      writer.WritePcscProtocol();
      writer.AddSerialChannel(3, 19200);
      writer.AddPcscChannel("R");
      if (c.midway != nullptr) c.midway(newPath, other);
      if (c.listAndCount) {
        writer.SetChannelList();
        countStatus = writer.SetChannelCount(2);
      }
    }
    EXPECT_EQ(c.replaced ? 0 : CONFIG_FILE_ERROR, c.listAndCount ? countStatus : CONFIG_FILE_ERROR);
    if (c.replaced) {
      EXPECT_EQ("2", Value(path, "CONFIG", "NbCanaux"));
      EXPECT_EQ("2", Value(path, "PROTOCOLE1", "ListeCanaux"));
      EXPECT_EQ(4u, Block(ReadFile(path), "[CANAL1]").size() - 2);  // the whole serial channel
    } else if (folder) {
      EXPECT_TRUE(std::filesystem::is_directory(path));
    } else {
      EXPECT_EQ(before, ReadFile(path));
    }
    EXPECT_TRUE(!FileExists(other) || ReadFile(other) == "another file\r\n");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Join("velmora/telmarv3"))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{"telmar.old"};
    if (c.newFile != nullptr) expected.push_back("telmar.old.new");
    EXPECT_EQ(expected, names);
    EXPECT_EQ(c.newFile != nullptr ? c.newFile : "", ReadFile(newPath));
    std::filesystem::remove_all(path);
    std::filesystem::remove(newPath);
  }
}

TEST_F(ConfigWriterTest, MajorVersionChoosesTheDataFolder) {
  {
    ScopedVersion older(MajorVersion5);
    dir.MakeDir("Application Data/velmora/telmarv3");
    Run(1, 0);
    EXPECT_EQ("1", Value(dir.Join("Application Data/velmora/telmarv3/telmar.old"), "CONFIG",
                         "NbCanaux"));
    EXPECT_FALSE(FileExists(path));
  }
  MakeDataFolder();
  Run(0, 1);
  EXPECT_EQ("1", Value(path, "CONFIG", "NbCanaux"));
  EXPECT_EQ("1", Value(dir.Join("Application Data/velmora/telmarv3/telmar.old"), "CONFIG",
                       "NbCanaux"));
  EXPECT_EQ("<absent>", Value(dir.Join("Application Data/velmora/telmarv3/telmar.old"),
                              "PROTOCOLE1", "Config"));
}

TEST_F(ConfigWriterTest, WithoutAProfileFolderNothingIsWrittenAnywhere) {
  MakeDataFolder();
  const std::string before = std::filesystem::current_path().string();
  ASSERT_EQ(0, chdir(dir.Join("velmora/telmarv3").c_str()));
  const std::string tooLong(300, 'p');
  const char* profiles[] = {nullptr, "", tooLong.c_str()};
  for (const char* value : profiles) {
    ScopedEnv unset("ALLUSERSPROFILE", value);
    ConfigStream stream;
    uint16_t listStatus = 0;
    uint16_t countStatus = 0;
    {
      ManagerConfigWriter writer(stream);
      writer.WriteQlpProtocol();
      writer.WritePcscProtocol();
      writer.AddSerialChannel(1, 9600);
      writer.AddPcscChannel("R");
      listStatus = writer.SetChannelList();
      countStatus = writer.SetChannelCount(2);
    }
    EXPECT_TRUE(stream.Failed());
    EXPECT_EQ(CONFIG_FILE_ERROR, listStatus);
    EXPECT_EQ(CONFIG_FILE_ERROR, countStatus);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Join("velmora/telmarv3")));
  }
  ASSERT_EQ(0, chdir(before.c_str()));
}

TEST_F(ConfigWriterTest, LongReaderNamesAreWrittenWhole) {
  MakeDataFolder();
  const size_t lengths[] = {0, 237, 238, 1000};
  std::vector<std::string> names;
  for (size_t length : lengths) {
    std::string name(length, 'n');
    if (length == 0) {
      names.push_back(name);
      continue;
    }
    name[0] = '\xE9';
    name[length / 2] = ' ';
    name[length - 1] = 'z';
    names.push_back(name);
  }
  ConfigStream stream;
  ManagerConfigWriter writer(stream);
  writer.WritePcscProtocol();
  for (const std::string& name : names) writer.AddPcscChannel(name.c_str());
  EXPECT_EQ(0, writer.SetChannelList());
  EXPECT_EQ(0, writer.SetChannelCount(4));
  std::string content = ReadFile(path);
  for (size_t k = 1; k <= names.size(); ++k) {
    std::vector<std::string> block = Block(content, "[CANAL" + std::to_string(k) + "]");
    ASSERT_EQ(6u, block.size());
    EXPECT_EQ("Caracteristiques=" + names[k - 1], block[4]);
    EXPECT_EQ("NbPAD=1", block[5]);
  }
  EXPECT_EQ("4", Value(path, "CONFIG", "NbCanaux"));
}

TEST_F(ConfigWriterTest, ControlCharactersInAReaderNameBecomeBlanks) {
  MakeDataFolder();
  ConfigStream stream;
  ManagerConfigWriter writer(stream);
  writer.WritePcscProtocol();
  writer.AddPcscChannel("Evil\r\n[CONFIG]\nNbCanaux=99\tx\x7F\x01\xE9");
  EXPECT_EQ(0, writer.SetChannelList());
  EXPECT_EQ(0, writer.SetChannelCount(1));
  std::string content = ReadFile(path);
  std::vector<std::string> lines = SplitLines(content);
  EXPECT_EQ(1u, CountOf(lines, "[CONFIG]"));
  EXPECT_EQ(1u, CountOf(lines, "Caracteristiques=Evil  [CONFIG] NbCanaux=99 x  \xE9"));
  EXPECT_EQ("1", Value(path, "CONFIG", "NbCanaux"));
}

TEST_F(ConfigWriterTest, ManyPcscReadersKeepTheWholeChannelList) {
  MakeDataFolder();
  uint16_t listStatus = 1;
  Run(1, 30, &listStatus);
  EXPECT_EQ(0, listStatus);
  std::string expected = "2";
  for (int n = 3; n <= 31; ++n) expected += "," + std::to_string(n);
  ASSERT_GT(expected.size(), 68u);
  EXPECT_EQ(expected, Value(path, "PROTOCOLE1", "ListeCanaux"));
  EXPECT_EQ("31", Value(path, "CONFIG", "NbCanaux"));
  EXPECT_EQ("NomLAD=Bemira15", Block(ReadFile(path), "[CANAL31.PAD1.LAD1]").at(2));
  EXPECT_EQ("Index=30", Block(ReadFile(path), "[CANAL31]").at(2));
}

// The one test that goes through the process-wide stream, which it leaves closed.
TEST_F(ConfigWriterTest, DefaultWriterUsesTheProcessWideStream) {
  MakeDataFolder();
  ManagerConfigWriter writer;
  writer.WriteQlpProtocol();
  writer.AddSerialChannel(4, 9600);
  EXPECT_FALSE(configStream.IsOpen());
  EXPECT_EQ(0, writer.SetChannelCount(1));
  EXPECT_FALSE(configStream.IsOpen());  // closed before the file was put in place
  EXPECT_FALSE(configStream.Failed());
  EXPECT_EQ("Index=4", Block(ReadFile(path), "[CANAL1]").at(2));
  EXPECT_EQ("1", Value(path, "CONFIG", "NbCanaux"));
}

}  // namespace
