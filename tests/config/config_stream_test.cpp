#include "config/config_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace {

using testing_support::CrLfLines;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(ConfigStream, WritesCrLfLinesTruncatingOrAppending) {
  TempDir dir;
  std::string path = dir.Join("f.txt");
  WriteFile(path, "old content that is longer\n");
  ConfigStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), ConfigStream::kNew));
  EXPECT_TRUE(stream.IsOpen());
  EXPECT_TRUE(stream.WriteLine("a"));
  EXPECT_TRUE(stream.WriteLine(""));
  EXPECT_TRUE(stream.Close());
  EXPECT_FALSE(stream.IsOpen());
  ASSERT_TRUE(stream.Open(path.c_str(), ConfigStream::kAppend));
  EXPECT_TRUE(stream.WriteLine("b\xE9"));
  EXPECT_TRUE(stream.Close());
  EXPECT_FALSE(stream.Failed());
  EXPECT_EQ(CrLfLines({"a", "", "b\xE9"}), ReadFile(path));
}

TEST(ConfigStream, AFailedOpenDropsEveryLaterLineEvenAfterASuccessfulOpen) {
  TempDir dir;
  ConfigStream stream;
  EXPECT_FALSE(stream.Open(dir.Join("missing/f.txt").c_str(), ConfigStream::kNew));
  EXPECT_TRUE(stream.Failed());
  EXPECT_FALSE(stream.IsOpen());

  std::string created = dir.Join("created.txt");
  ASSERT_TRUE(stream.Open(created.c_str(), ConfigStream::kAppend));
  EXPECT_FALSE(stream.WriteLine("dropped"));
  EXPECT_TRUE(stream.Close());
  EXPECT_TRUE(FileExists(created));
  EXPECT_EQ("", ReadFile(created));

  std::string existing = dir.Join("existing.txt");
  WriteFile(existing, "kept\r\n");
  ASSERT_TRUE(stream.Open(existing.c_str(), ConfigStream::kNew));
  EXPECT_FALSE(stream.WriteLine("dropped"));
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ("", ReadFile(existing));
  EXPECT_TRUE(stream.Failed());
}

TEST(ConfigStream, OpeningAnOpenStreamFailsAndKeepsTheFirstFileOpen) {
  TempDir dir;
  std::string first = dir.Join("first.txt");
  std::string second = dir.Join("second.txt");
  ConfigStream stream;
  ASSERT_TRUE(stream.Open(first.c_str(), ConfigStream::kNew));
  EXPECT_TRUE(stream.WriteLine("before"));
  EXPECT_FALSE(stream.Open(second.c_str(), ConfigStream::kNew));
  EXPECT_TRUE(stream.Failed());
  EXPECT_TRUE(stream.IsOpen());
  EXPECT_FALSE(stream.WriteLine("after"));
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ(CrLfLines({"before"}), ReadFile(first));
  EXPECT_FALSE(FileExists(second));
}

TEST(ConfigStream, ClosingOrWritingAClosedStreamFails) {
  TempDir dir;
  ConfigStream closing;
  EXPECT_FALSE(closing.Close());
  EXPECT_TRUE(closing.Failed());

  ConfigStream writing;
  EXPECT_FALSE(writing.WriteLine("nowhere"));
  EXPECT_TRUE(writing.Failed());

  ConfigStream emptyPath;
  EXPECT_FALSE(emptyPath.Open("", ConfigStream::kAppend));
  EXPECT_TRUE(emptyPath.Failed());
}

}  // namespace
