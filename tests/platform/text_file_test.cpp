#include "platform/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

TEST(TextFile, LinesEndInCrLfAndNewStartsAfresh) {
  TempDir dir;
  const std::string path = dir.Join("out.txt");
  testing_support::WriteFile(path, "an older and longer content\r\n\r\n");
  platform::TextFile file;
  ASSERT_TRUE(file.Open(path.c_str(), platform::TextFile::kNew));
  EXPECT_TRUE(file.WriteLine("one"));
  EXPECT_TRUE(file.WriteLine(""));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ("one\r\n\r\n", ReadFile(path));

  ASSERT_TRUE(file.Open(path.c_str(), platform::TextFile::kAppend));
  EXPECT_TRUE(file.WriteLine("two"));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ("one\r\n\r\ntwo\r\n", ReadFile(path));
}

TEST(TextFile, RefusesSecondOpenAndCloseWithoutOpen) {
  TempDir dir;
  platform::TextFile file;
  EXPECT_FALSE(file.Close());
  EXPECT_FALSE(file.WriteLine("dropped"));
  ASSERT_TRUE(file.Open(dir.Join("a").c_str(), platform::TextFile::kAppend));
  EXPECT_FALSE(file.Open(dir.Join("b").c_str(), platform::TextFile::kAppend));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(testing_support::FileExists(dir.Join("b")));
}

TEST(TextFile, MissingFolderFailsToOpen) {
  TempDir dir;
  platform::TextFile file;
  EXPECT_FALSE(file.Open(dir.Join("missing/out.txt").c_str(), platform::TextFile::kNew));
  EXPECT_FALSE(file.IsOpen());
}

// A new file is made afresh whatever lay at its path: a link goes, never what it points to,
// and a pipe goes without an open that would wait for a reader.
TEST(TextFile, NewNeverOpensWhatLayAtThePath) {
  TempDir dir;
  const std::string target = dir.Join("target.txt");
  const std::string path = dir.Join("out.txt");
  testing_support::WriteFile(target, "someone else's\r\n");
  for (const char* what : {"link", "dangling link", "pipe"}) {
    SCOPED_TRACE(what);
    const std::string kind = what;
    const int made = kind == "pipe" ? mkfifo(path.c_str(), 0600)
                                    : symlink((kind == "link" ? target : dir.Join("nowhere")).c_str(),
                                              path.c_str());
    ASSERT_EQ(0, made);
    platform::TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), platform::TextFile::kNew));
    EXPECT_TRUE(file.WriteLine("mine"));
    EXPECT_TRUE(file.Close());
    struct stat info;
    ASSERT_EQ(0, lstat(path.c_str(), &info));
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ("mine\r\n", ReadFile(path));
    EXPECT_EQ("someone else's\r\n", ReadFile(target));
    EXPECT_FALSE(testing_support::FileExists(dir.Join("nowhere")));
    unlink(path.c_str());
  }
}

}  // namespace
