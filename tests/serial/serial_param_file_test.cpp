#include "serial/serial_param_file.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/data_folder.h"
#include "platform/version.h"
#include "support/lines.h"
#include "support/serial_parameters.h"
#include "support/syscall_faults.h"
#include "support/temp_dir.h"

namespace {

using testing_support::CrLfLines;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kDefaultContent =
    CrLfLines({"[SERIE]", "Vitesse=9600", "Donnees=8", "Parite=0", "Stop=0", "Type=0",
               "[PROTOCOLE0]", "Config=1000,15,15000"});

bool HasLine(const std::string& text, const std::string& line) {
  for (const std::string& candidate : testing_support::SplitLines(text)) {
    if (candidate == line) return true;
  }
  return false;
}

// The default content with one line replaced.
std::string DefaultsWith(const std::string& from, const std::string& to) {
  std::string text = kDefaultContent;
  text.replace(text.find(from), from.size(), to);
  return text;
}

// A data folder in a temporary profile folder, and the file-scope parameters at their
// start values (other tests in the same process change them).
class SerialParamFileTest : public ::testing::Test {
 protected:
  SerialParamFileTest()
      : profile("ALLUSERSPROFILE", dir.path().c_str()),
        folder(dir.MakeDir("velmora/telmarv3")),
        expectedPath(folder + "/QLP_CONFIG.INI"),
        framing(),
        protocol() {
    ResetParameters();
  }

  void ResetParameters() {
    framing = SerialFraming();
    protocol = ProtocolParams();
    testing_support::ResetSerialParameters();
  }

  uint16_t Read(SerialParamFile& file) {
    return file.ReadParams(framing, protocol, comPort, padStation, simulatorType);
  }

  TempDir dir;
  ScopedEnv profile;
  std::string folder;
  std::string expectedPath;
  SerialFraming framing;
  ProtocolParams protocol;
};

TEST_F(SerialParamFileTest, ConstructionWritesTheDefaultContentOverAnEarlierFile) {
  WriteFile(expectedPath, "[SERIE]\r\nVitesse=19200\r\nPort=COM9\r\n[QLP]\r\nTMax=1\r\n");
  SerialParamFile file;
  EXPECT_EQ(expectedPath, file.Path());
  EXPECT_EQ(kDefaultContent, ReadFile(expectedPath));
}

TEST_F(SerialParamFileTest, DefaultContentReadsBackAndGainsTheQlpSection) {
  SerialParamFile file;
  ASSERT_EQ(0, Read(file));
  EXPECT_EQ(0, simulatorType);
  EXPECT_EQ(1, comPort);
  EXPECT_EQ(1, framing.speedMultiplier);
  EXPECT_EQ(0, framing.framingExtra);
  EXPECT_EQ(8, framing.dataBits);
  EXPECT_EQ(0, framing.parity);
  EXPECT_EQ(0, framing.stop);
  EXPECT_EQ(15, padStation);
  EXPECT_EQ(0, protocol.padReader);
  EXPECT_EQ(1000, protocol.configFirst);
  EXPECT_EQ(15, configMiddle);
  EXPECT_EQ(15000, protocol.configThird);
  EXPECT_EQ(1000, tReponse);
  EXPECT_EQ(65535, tMax);

  // The eight lines stay as they were; the read-back adds the QLP section, keys in order.
  const std::string content = ReadFile(expectedPath);
  ASSERT_EQ(kDefaultContent, content.substr(0, kDefaultContent.size()));
  std::vector<std::string> added =
      testing_support::SplitLines(content.substr(kDefaultContent.size()));
  added.erase(std::remove(added.begin(), added.end(), ""), added.end());  // blank lines aside
  const std::vector<std::string> expected = {"[QLP]", "PAD_STATION=15", "PAD_LECTEUR=0",
                                             "TReponse=1000", "TMax=65535"};
  EXPECT_EQ(expected, added);
  EXPECT_EQ(std::string::npos, content.find("Port"));
}

TEST_F(SerialParamFileTest, SpeedIsTakenInUnitsOf9600) {
  struct Case {
    const char* line;
    uint16_t status;
    uint16_t multiplier;
  };
  const Case cases[] = {
      {"Vitesse=19200", 0, 2},
      {"Vitesse=10000", 0, 1},  // truncated to 1 and written back unchanged
      {"Vitesse=9599", PARAM_BAD_SPEED, 0},
      {"Vitesse=28800", PARAM_BAD_SPEED, 3},
      {"Vitesse=-19200", PARAM_BAD_SPEED, 65534},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    SerialParamFile file;
    WriteFile(expectedPath, DefaultsWith("Vitesse=9600", c.line));
    ResetParameters();
    EXPECT_EQ(c.status, Read(file));
    EXPECT_EQ(c.multiplier, framing.speedMultiplier);
    const std::string content = ReadFile(expectedPath);
    EXPECT_TRUE(HasLine(content, c.line));
    // A failing key stops the read-back: nothing after it is read or written.
    EXPECT_EQ(c.status != 0, content.find("[QLP]") == std::string::npos);
    EXPECT_EQ(c.status != 0 ? 0 : 8, framing.dataBits);
  }
}

TEST_F(SerialParamFileTest, DataBitsAreKeptTo8BitsBeforeTheirCheck) {
  {
    SerialParamFile file;
    WriteFile(expectedPath, DefaultsWith("Donnees=8", "Donnees=263"));
    EXPECT_EQ(0, Read(file));
    EXPECT_EQ(7, framing.dataBits);
    EXPECT_TRUE(HasLine(ReadFile(expectedPath), "Donnees=263"));
  }
  {
    SerialParamFile file;
    WriteFile(expectedPath, DefaultsWith("Donnees=8", "Donnees=eight"));
    EXPECT_EQ(PARAM_BAD_DATA_BITS, Read(file));
    EXPECT_EQ(0, framing.dataBits);
  }
}

TEST_F(SerialParamFileTest, EachRangeCheckHasItsStatusAndKeepsTheValue) {
  struct Case {
    const char* from;
    const char* to;
    uint16_t status;
    const uint8_t* target;
    uint8_t kept;
  };
  const Case cases[] = {
      {"Parite=0", "Parite=3", PARAM_BAD_PARITY, &framing.parity, 3},
      {"Parite=0", "Parite=2", 0, &framing.parity, 2},
      {"Stop=0", "Stop=259", PARAM_BAD_STOP, &framing.stop, 3},
      {"Stop=0", "Stop=2", 0, &framing.stop, 2},
      {"Type=0", "Type=0\r\n[QLP]\r\nPAD_STATION=19", PARAM_BAD_PAD_STATION, &padStation, 19},
      {"Type=0", "Type=0\r\n[QLP]\r\nPAD_LECTEUR=16", PARAM_BAD_PAD_READER,
       &protocol.padReader, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    SerialParamFile file;
    WriteFile(expectedPath, DefaultsWith(c.from, c.to));
    ResetParameters();
    EXPECT_EQ(c.status, Read(file));
    EXPECT_EQ(c.kept, *c.target);
    // A failing key stops the read-back before the last key.
    EXPECT_EQ(c.status != 0, ReadFile(expectedPath).find("TMax") == std::string::npos);
  }
}

TEST_F(SerialParamFileTest, ConfigWithTwoNumbersStopsBeforeTheProtocolTimes) {
  SerialParamFile file;
  WriteFile(expectedPath, DefaultsWith("Config=1000,15,15000",
                                       "Config=1,2\r\n[QLP]\r\nTReponse=5\r\nTMax=6"));
  protocol.configThird = 777;
  EXPECT_EQ(PARAM_FILE_ERROR, Read(file));
  EXPECT_EQ(1, protocol.configFirst);
  EXPECT_EQ(2, configMiddle);
  EXPECT_EQ(777, protocol.configThird);
  EXPECT_EQ(1000, tReponse);
  EXPECT_EQ(65535, tMax);
  EXPECT_TRUE(HasLine(ReadFile(expectedPath), "Config=1,2"));
}

TEST_F(SerialParamFileTest, ConfigIsWrittenBackInCanonicalForm) {
  const char* const values[] = {"Config= 7,,8,9,10", "Config=,,7,8,,9,"};
  for (const char* value : values) {
    SCOPED_TRACE(value);
    SerialParamFile file;
    WriteFile(expectedPath, DefaultsWith("Config=1000,15,15000", value));
    EXPECT_EQ(0, Read(file));
    EXPECT_EQ(7, protocol.configFirst);
    EXPECT_EQ(8, configMiddle);
    EXPECT_EQ(9, protocol.configThird);
    const std::string content = ReadFile(expectedPath);
    EXPECT_TRUE(HasLine(content, "Config=7,8,9"));
    EXPECT_FALSE(HasLine(content, value));
  }
}

TEST_F(SerialParamFileTest, NumbersAreCutTo16BitsWithoutStatus) {
  SerialParamFile file;
  WriteFile(expectedPath,
            DefaultsWith("Config=1000,15,15000",
                         "Config=65537,2,3\r\n[QLP]\r\nTReponse=70000\r\nTMax= 42x"));
  EXPECT_EQ(0, Read(file));
  EXPECT_EQ(1, protocol.configFirst);
  EXPECT_EQ(70000 - 65536, tReponse);
  EXPECT_EQ(42, tMax);
  const std::string content = ReadFile(expectedPath);
  EXPECT_TRUE(HasLine(content, "TReponse=70000"));  // written back as read
  EXPECT_TRUE(HasLine(content, "Config=1,2,3"));
}

TEST_F(SerialParamFileTest, PortAndTypeAreReadButPortIsNeverWritten) {
  struct Case {
    const char* port;
    uint8_t expected;
  };
  // Fewer than three characters leave no number: the port becomes 0.
  const Case cases[] = {{"Port=COM12", 12}, {"Port=COM260", 4}, {"Port=CO", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    SerialParamFile file;
    WriteFile(expectedPath, DefaultsWith("Type=0", std::string("Type=2\r\n") + c.port));
    comPort = 99;
    EXPECT_EQ(0, Read(file));
    EXPECT_EQ(c.expected, comPort);
    EXPECT_EQ(2, simulatorType);
    const std::string content = ReadFile(expectedPath);
    EXPECT_TRUE(HasLine(content, c.port));
    EXPECT_EQ(content.find("Port="), content.rfind("Port="));
  }
}

TEST_F(SerialParamFileTest, MissingFolderFailsAtTheFirstWriteBack) {
  ScopedEnv elsewhere("ALLUSERSPROFILE", dir.Join("nobody").c_str());
  SerialParamFile file;
  EXPECT_EQ(dir.Join("nobody/velmora/telmarv3/QLP_CONFIG.INI"), file.Path());
  comPort = 77;
  framing.dataBits = 5;
  EXPECT_EQ(PARAM_FILE_ERROR, Read(file));
  EXPECT_EQ(77, comPort);  // "Port" was never read
  EXPECT_EQ(5, framing.dataBits);
  EXPECT_EQ(0, simulatorType);
  EXPECT_FALSE(FileExists(file.Path()));
}

// A file that did not get its whole default content (a full disk) is removed, and the
// read-back fails at once: it would complete the file with values of its own.
TEST_F(SerialParamFileTest, DefaultContentNotWrittenFailsTheReadBack) {
  const long contentSize = static_cast<long>(kDefaultContent.size());
  EXPECT_TRUE(testing_support::RunWithFaults({{__NR_write, ENOSPC, contentSize}}, [&] {
    SerialParamFile file;
    return Read(file) == PARAM_FILE_ERROR && !FileExists(expectedPath);
  }));
  SerialParamFile file;  // and without the fault, the same folder takes the file
  EXPECT_EQ(0, Read(file));
}

TEST_F(SerialParamFileTest, NoUsablePathWritesNothingAnywhere) {
  const std::string tooLong(platform::kMaxPath, 'p');
  const char* const profiles[] = {nullptr, "", tooLong.c_str()};
  for (const char* value : profiles) {
    SCOPED_TRACE(value ? std::to_string(std::string(value).size()) : "unset");
    ScopedEnv other("ALLUSERSPROFILE", value);
    SerialParamFile file;
    EXPECT_STREQ("", file.Path());
    comPort = 77;
    EXPECT_EQ(PARAM_FILE_ERROR, Read(file));
    EXPECT_EQ(77, comPort);
    file.Remove();
  }
  EXPECT_FALSE(FileExists(expectedPath));
}

TEST_F(SerialParamFileTest, FolderFollowsTheWindowsMajorVersion) {
  const platform::VersionApi saved = platform::versionApi;
  dir.MakeDir("Application Data/velmora/telmarv3");
  platform::versionApi.majorVersion = [] { return 5u; };
  {
    SerialParamFile file;
    EXPECT_EQ(dir.Join("Application Data/velmora/telmarv3/QLP_CONFIG.INI"), file.Path());
    EXPECT_EQ(kDefaultContent, ReadFile(file.Path()));
    EXPECT_FALSE(FileExists(expectedPath));
  }
  platform::versionApi.majorVersion = [] { return 6u; };
  {
    SerialParamFile file;
    EXPECT_EQ(expectedPath, file.Path());
    EXPECT_EQ(kDefaultContent, ReadFile(expectedPath));
  }
  platform::versionApi = saved;
}

// The file is the run's own: once another program has removed it, or put a file of its own
// in its place (another run of the program, without the run lock), the read-back writes
// nothing, which would make a file holding one key, and the removal leaves that file alone.
TEST_F(SerialParamFileTest, AFileRemovedOrReplacedMeanwhileIsLeftAlone) {
  for (const char* replacement : {static_cast<const char*>(nullptr), "[SERIE]\r\nType=0\r\n"}) {
    SCOPED_TRACE(replacement ? "replaced" : "removed");
    ResetParameters();
    SerialParamFile file;
    ASSERT_EQ(0, std::remove(expectedPath.c_str()));
    if (replacement != nullptr) WriteFile(expectedPath, replacement);
    EXPECT_EQ(PARAM_FILE_ERROR, Read(file));
    EXPECT_EQ(replacement != nullptr, FileExists(expectedPath));
    file.Remove();
    EXPECT_EQ(replacement != nullptr ? replacement : "", ReadFile(expectedPath));
    std::remove(expectedPath.c_str());
  }
}

TEST_F(SerialParamFileTest, RemoveAndDestructionDeleteTheFile) {
  {
    SerialParamFile file;
    ASSERT_TRUE(FileExists(expectedPath));
    file.Remove();
    EXPECT_FALSE(FileExists(expectedPath));
    file.Remove();  // nothing there any more: harmless
  }
  {
    SerialParamFile file;
    ASSERT_TRUE(FileExists(expectedPath));
  }
  EXPECT_FALSE(FileExists(expectedPath));
}

}  // namespace
