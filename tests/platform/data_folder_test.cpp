#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/version.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ScopedEnv;

TEST(DataFolder, CurrentWindowsLayout) {
  char path[platform::kMaxPath + 1];
  ASSERT_TRUE(platform::ComposeDataFilePath("/data", 6, "telmar.old", path, sizeof path));
  EXPECT_STREQ("/data/velmora/telmarv3/telmar.old", path);
  ASSERT_TRUE(platform::ComposeDataFilePath("/data", 10, "x", path, sizeof path));
  EXPECT_STREQ("/data/velmora/telmarv3/x", path);
}

TEST(DataFolder, OlderWindowsLayoutBelowMajorVersion6) {
  char path[platform::kMaxPath + 1];
  ASSERT_TRUE(platform::ComposeDataFilePath("/data", 5, "QLP_CONFIG.INI", path, sizeof path));
  EXPECT_STREQ("/data/Application Data/velmora/telmarv3/QLP_CONFIG.INI", path);
  ASSERT_TRUE(platform::ComposeDataFilePath("/data", 0, "f", path, sizeof path));
  EXPECT_STREQ("/data/Application Data/velmora/telmarv3/f", path);
}

TEST(DataFolder, RefusesMissingOrEmptyProfileFolder) {
  char path[32];
  std::memset(path, 'x', sizeof path);
  EXPECT_FALSE(platform::ComposeDataFilePath(nullptr, 6, "f", path, sizeof path));
  EXPECT_STREQ("", path);
  std::memset(path, 'x', sizeof path);
  EXPECT_FALSE(platform::ComposeDataFilePath("", 6, "f", path, sizeof path));
  EXPECT_STREQ("", path);
}

TEST(DataFolder, PathThatDoesNotFitIsRefusedWhole) {
  const std::string tail = "/velmora/telmarv3/telmar.old";
  // Exactly 268 characters fit; 269 do not.
  std::string fits(platform::kMaxPath - tail.size(), 'a');
  std::string tooLong = fits + "a";
  char path[platform::kMaxPath + 2];
  path[platform::kMaxPath + 1] = '#';
  ASSERT_TRUE(platform::ComposeDataFilePath(fits.c_str(), 6, "telmar.old", path,
                                            platform::kMaxPath + 1));
  EXPECT_EQ(platform::kMaxPath, std::strlen(path));
  EXPECT_FALSE(platform::ComposeDataFilePath(tooLong.c_str(), 6, "telmar.old", path,
                                             platform::kMaxPath + 1));
  EXPECT_STREQ("", path);
  EXPECT_EQ('#', path[platform::kMaxPath + 1]);
}

TEST(DataFolder, TakesProfileFromEnvironmentAndVersionFromTheVersionApi) {
  ScopedEnv profile("ALLUSERSPROFILE", "/all users");
  platform::VersionApi saved = platform::versionApi;
  char path[platform::kMaxPath + 1];
  ASSERT_TRUE(platform::DataFilePath("a.ini", path, sizeof path));
  EXPECT_STREQ("/all users/velmora/telmarv3/a.ini", path);
  platform::versionApi.majorVersion = [] { return 5u; };
  ASSERT_TRUE(platform::DataFilePath("a.ini", path, sizeof path));
  EXPECT_STREQ("/all users/Application Data/velmora/telmarv3/a.ini", path);
  platform::versionApi = saved;
  ScopedEnv unset("ALLUSERSPROFILE", nullptr);
  EXPECT_FALSE(platform::DataFilePath("a.ini", path, sizeof path));
}

TEST(DataFolder, DescribedAsExistingMissingOrNone) {
  testing_support::TempDir dir;
  ScopedEnv profile("ALLUSERSPROFILE", dir.path().c_str());
  char line[400];
  platform::DescribeDataFolder(line, sizeof line);
  EXPECT_EQ("data folder " + dir.path() + "/velmora/telmarv3/: missing", std::string(line));
  dir.MakeDir("velmora/telmarv3");
  platform::DescribeDataFolder(line, sizeof line);
  EXPECT_EQ("data folder " + dir.path() + "/velmora/telmarv3/: exists", std::string(line));
  ScopedEnv unset("ALLUSERSPROFILE", "");
  platform::DescribeDataFolder(line, sizeof line);
  EXPECT_STREQ("data folder: none (ALLUSERSPROFILE unset or empty, or the path too long)", line);
}

}  // namespace
