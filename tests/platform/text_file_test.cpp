#include "platform/text_file.h"

#include <gtest/gtest.h>

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

}  // namespace
