#include "platform/profile.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

#include "platform/posix/file_update.h"
#include "support/syscall_faults.h"
#include "support/temp_dir.h"

namespace {

using namespace std::string_literals;
using testing_support::CrLfLines;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunWithFaults;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Read(const std::string& path, const char* section, const char* key,
                 const char* defaultValue = "<none>", unsigned long size = 256) {
  char out[256];
  platform::ReadProfileString(section, key, defaultValue, out, size, path.c_str());
  return out;
}

int Write(const std::string& path, const char* section, const char* key, const char* value) {
  return platform::WriteProfileString(section, key, value, path.c_str());
}

size_t EntriesIn(const std::string& folder) {
  using std::filesystem::directory_iterator;
  return static_cast<size_t>(std::distance(directory_iterator(folder), directory_iterator()));
}

class ProfileRead : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.Join("a.ini");
    WriteFile(path,
              "; a comment=not a key\r\n"
              "[Serie]\r\n"
              "  Vitesse\t=  19200  \r\n"
              "Quoted=\"  spaced  \"\n"
              "Single='x'\r\n"
              "Unmatched=\"abc\r\n"
              "Empty=\r\n"
              ";Hidden=1\r\n"
              "NoEquals\r\n"
              "Accent=caf\xE9\r\n"
              "Vitesse=second\r\n"
              "\t[ Other Section ]  \r\n"
              "Key=other\r\n"
              "[SERIE]\r\n"
              "Late=duplicate section\r\n");
  }
  TempDir dir;
  std::string path;
};

TEST_F(ProfileRead, NamesIgnoreCaseAndBlanksAndValuesLoseBlanksAndQuotes) {
  EXPECT_EQ("19200", Read(path, "serie", "VITESSE"));
  EXPECT_EQ("19200", Read(path, " SeRiE ", "\tvitesse "));
  EXPECT_EQ("  spaced  ", Read(path, "Serie", "Quoted"));
  EXPECT_EQ("x", Read(path, "Serie", "Single"));
  EXPECT_EQ("\"abc", Read(path, "Serie", "Unmatched"));
  EXPECT_EQ("", Read(path, "Serie", "Empty"));
  EXPECT_EQ("caf\xE9", Read(path, "Serie", "Accent"));
  EXPECT_EQ("other", Read(path, "other section", "key"));
}

TEST_F(ProfileRead, FirstSectionAndFirstKeyOfANameWin) {
  EXPECT_EQ("19200", Read(path, "Serie", "Vitesse"));
  EXPECT_EQ("<none>", Read(path, "Serie", "Late"));
}

TEST_F(ProfileRead, DefaultWhenKeySectionOrFileIsAbsent) {
  EXPECT_EQ("dflt", Read(path, "Serie", "Missing", "dflt"));
  EXPECT_EQ("dflt", Read(path, "Serie", "Key", "dflt"));  // key of another section
  EXPECT_EQ("dflt", Read(path, "Serie", "NoEquals", "dflt"));
  EXPECT_EQ("dflt", Read(path, "Serie", ";Hidden", "dflt"));
  EXPECT_EQ("dflt", Read(path, "Nowhere", "Vitesse", "dflt"));
  EXPECT_EQ("dflt", Read(dir.Join("absent.ini"), "Serie", "Vitesse", "dflt"));
  EXPECT_EQ("dflt", Read(dir.path(), "Serie", "Vitesse", "dflt"));  // a directory
  EXPECT_EQ("", Read(path, "Serie", "Missing", nullptr));
  EXPECT_EQ("dflt", Read(path, "Serie", "Missing", "dflt  "));
}

TEST_F(ProfileRead, ValueAndDefaultAreCutToTheBuffer) {
  char out[8];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(3u, platform::ReadProfileString("Serie", "Vitesse", "", out, 4, path.c_str()));
  EXPECT_STREQ("192", out);
  EXPECT_EQ('#', out[4]);
  EXPECT_EQ(5u, platform::ReadProfileString("Serie", "Vitesse", "", out, 6, path.c_str()));
  EXPECT_STREQ("19200", out);
  EXPECT_EQ(0u, platform::ReadProfileString("Serie", "Vitesse", "", out, 1, path.c_str()));
  EXPECT_STREQ("", out);
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(2u, platform::ReadProfileString("Serie", "Missing", "COM1", out, 3, path.c_str()));
  EXPECT_STREQ("CO", out);
  EXPECT_EQ('#', out[3]);
  out[0] = '#';
  EXPECT_EQ(0u, platform::ReadProfileString("Serie", "Vitesse", "", out, 0, path.c_str()));
  EXPECT_EQ('#', out[0]);
}

TEST(ProfileReadOddFiles, NulBytesMissingLineEndAndLongLines) {
  TempDir dir;
  std::string path = dir.Join("odd.ini");
  std::string longValue(100000, 'v');
  std::string content = "[A]\r\nNul=ab\0cd\r\nX\0Y=1\r\nLong="s;
  content += longValue + "\n[B]\nLast=end";
  WriteFile(path, content);
  EXPECT_EQ("ab", Read(path, "A", "Nul"));
  EXPECT_EQ("end", Read(path, "B", "Last"));
  char out[200001];
  EXPECT_EQ(longValue.size(),
            platform::ReadProfileString("A", "Long", "", out, sizeof out, path.c_str()));
  EXPECT_EQ(longValue, out);
  EXPECT_EQ(1, Write(path, "B", "Last", "changed"));
  EXPECT_EQ(content.substr(0, content.size() - 8) + "Last=changed\r\n", ReadFile(path));
}

TEST(ProfileWrite, ReplacingAKeyLeavesEveryOtherByteAsItWas) {
  TempDir dir;
  std::string path = dir.Join("w.ini");
  const std::string before =
      "; comment\n"
      "\n"
      "[CONFIG]\r\n"
      "  nbcanaux =  \r\n"
      "Other=\xE9t\xE9\n"
      "\r\n"
      "[Next]\r\n"
      "NbCanaux=keep\n";
  WriteFile(path, before);
  EXPECT_EQ(1, Write(path, "config", "NbCanaux", "2"));
  const std::string after =
      "; comment\n"
      "\n"
      "[CONFIG]\r\n"
      "NbCanaux=2\r\n"
      "Other=\xE9t\xE9\n"
      "\r\n"
      "[Next]\r\n"
      "NbCanaux=keep\n";
  EXPECT_EQ(after, ReadFile(path));
  EXPECT_EQ(1, Write(path, "CONFIG", "NBCANAUX", "3"));
  EXPECT_EQ("3", Read(path, "CONFIG", "NbCanaux"));
  EXPECT_NE(std::string::npos, ReadFile(path).find("\r\nNBCANAUX=3\r\nOther"));
  EXPECT_EQ(1u, EntriesIn(dir.path()));  // no temporary file left behind
}

TEST(ProfileWrite, MissingOrEmptyFileIsCreated) {
  TempDir dir;
  std::string path = dir.Join("new.ini");
  EXPECT_EQ(1, Write(path, "CONFIG", "NbCanaux", "1"));
  EXPECT_EQ(CrLfLines({"[CONFIG]", "NbCanaux=1"}), ReadFile(path));
  WriteFile(path, "");
  EXPECT_EQ(1, Write(path, "S", "K", ""));
  EXPECT_EQ(CrLfLines({"[S]", "K="}), ReadFile(path));
}

TEST(ProfileWrite, FailsWithoutDamageWhenTheFileCannotBeWritten) {
  TempDir dir;
  EXPECT_EQ(0, Write(dir.Join("absent/x.ini"), "S", "K", "V"));
  EXPECT_FALSE(FileExists(dir.Join("absent")));
  EXPECT_EQ(0, Write(dir.path(), "S", "K", "V"));
  EXPECT_EQ(0, Write("", "S", "K", "V"));
  EXPECT_EQ(0, Write(dir.Join("s.ini"), nullptr, "K", "V"));

  std::string path = dir.Join("ro.ini");
  WriteFile(path, "[S]\r\nK=old\r\n");
  chmod(path.c_str(), 0444);
  EXPECT_EQ(0, Write(path, "S", "K", "new"));
  EXPECT_EQ(0, Write(path, "T", "K", "new"));
  EXPECT_EQ("[S]\r\nK=old\r\n", ReadFile(path));
  EXPECT_EQ(1u, EntriesIn(dir.path()));
}

TEST(ProfileWrite, KeepsTheFileModeAndWritesThroughALink) {
  TempDir dir;
  std::string path = dir.Join("m.ini");
  WriteFile(path, "[S]\r\nK=old\r\n");
  chmod(path.c_str(), 0640);
  std::string link = dir.Join("link.ini");
  std::filesystem::create_symlink(path, link);
  EXPECT_EQ(1, Write(link, "S", "K", "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ("[S]\r\nK=new\r\n", ReadFile(path));
  std::string hardLink = dir.Join("hard.ini");  // edited in place, longer then shorter
  std::filesystem::create_hard_link(path, hardLink);
  EXPECT_EQ(1, Write(link, "S", "K", "longer"));
  EXPECT_EQ(1, Write(path, "S", "L", "1"));
  EXPECT_EQ(1, Write(link, "S", "K", nullptr));
  EXPECT_EQ("[S]\r\nL=1\r\n", ReadFile(hardLink));
  struct stat info;
  ASSERT_EQ(0, stat(path.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 07777);
}

// The write paths on what a workstation or an attacker may put in the way: a FIFO, a
// link swapped in between the read and the write, a file system without a space
// reservation of its own, a write that fails after the reservation, a file that cannot
// be renamed over (bind-mounted on itself).
TEST(ProfileWrite, WritePathsHoldWhateverStandsInTheirWay) {
  TempDir dir;
  const std::string fifo = dir.Join("fifo.ini");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0666));
  // Never opened for reading or writing: neither call waits for the other end.
  EXPECT_TRUE(RunWithFaults({}, [&] {
    alarm(5);
    return Write(fifo, "S", "K", "V") == 0 && Read(fifo, "S", "K") == "<none>";
  }));

  const std::string path = dir.Join("a.ini");
  const std::string other = dir.Join("other.ini");
  WriteFile(path, "[S]\r\nK=old\r\n");
  WriteFile(other, "[S]\r\nK=another file\r\n");
  platform::posix::FileSnapshot read;
  ASSERT_EQ(platform::posix::kFilePresent, platform::posix::LoadFile(path.c_str(), &read));
  std::filesystem::remove(path);
  std::filesystem::create_symlink(other, path);
  EXPECT_FALSE(platform::posix::UpdateFile(read, "[S]\r\nK=new\r\n"));
  EXPECT_FALSE(platform::posix::EditInPlace(read, "[S]\r\nK=new\r\n"));
  EXPECT_EQ("[S]\r\nK=another file\r\n", ReadFile(other));
  std::filesystem::remove(path);

  // Edits in place (a second hard link) that grow a file over 4 KiB.
  const std::string big = "[S]\r\nK=old\r\n" + std::string(5000, ';') + "\r\n";
  const std::string value(100, 'g');
  const std::string grown = "[S]\r\nK=" + value + "\r\n" + std::string(5000, ';') + "\r\n";
  const auto writeValue = [&] { return Write(path, "S", "K", value.c_str()) == 1; };
  WriteFile(path, big);
  std::filesystem::create_hard_link(path, dir.Join("hard.ini"));
  const long growth = static_cast<long>(grown.size() - std::strlen("[S]\r\nK="));
  EXPECT_FALSE(
      RunWithFaults({{__NR_pwrite64, EIO, growth}, {__NR_write, EIO, growth}}, writeValue));
  EXPECT_EQ(big, ReadFile(path));
  EXPECT_TRUE(RunWithFaults({{__NR_fallocate, EOPNOTSUPP, -1}}, writeValue));
  EXPECT_EQ(grown, ReadFile(path));
  std::filesystem::remove(dir.Join("hard.ini"));

  EXPECT_TRUE(RunWithFaults({{__NR_rename, EBUSY, -1}, {__NR_renameat, EBUSY, -1},
                             {__NR_renameat2, EBUSY, -1}},
                            [&] { return Write(path, "S", "K", "bound") == 1; }));
  EXPECT_EQ("[S]\r\nK=bound\r\n" + std::string(5000, ';') + "\r\n", ReadFile(path));
  EXPECT_EQ(3u, EntriesIn(dir.path()));  // no temporary file left beside it
}

}  // namespace
