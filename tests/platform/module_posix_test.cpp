#include "platform/module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace {

std::string WhyNotLoaded(const char* fileName) {
  char reason[platform::kWhyNotLoadedSize];
  platform::WhyNotLoaded(fileName, reason, sizeof reason);
  return reason;
}

std::string ProgramFolder() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string program(path, length > 0 ? length : 0);
  return program.substr(0, program.rfind('/') + 1);
}

const char kNotALibrary[] = "this text stands where a shared library should be, and is long enough";

// The loader's reason, taken when the load failed: for a name found nowhere, for a file that
// is not a library, and for one in the program's folder, which the search for a bare name
// meets first: its reason is kept, not that of the rest of the search, which finds nothing.
TEST(WhyNotLoaded, GivesTheLoadersReasonForTheFileTheSearchMet) {
  EXPECT_EQ(nullptr, platform::LoadModule("telmar-absent.dll"));
  EXPECT_EQ("telmar-absent.so: cannot open shared object file: No such file or directory",
            WhyNotLoaded("telmar-absent.dll"));

  testing_support::TempDir dir;
  testing_support::WriteFile(dir.Join("corrupt.so"), kNotALibrary);
  EXPECT_EQ(nullptr, platform::LoadModule(dir.Join("corrupt.dll").c_str()));
  EXPECT_EQ(dir.Join("corrupt.so") + ": invalid ELF header",
            WhyNotLoaded(dir.Join("corrupt.dll").c_str()));

  const std::string local = ProgramFolder() + "telmar-corrupt-beside.so";
  testing_support::WriteFile(local, kNotALibrary);
  EXPECT_EQ(nullptr, platform::LoadModule("telmar-corrupt-beside.dll"));
  std::remove(local.c_str());
  EXPECT_EQ(local + ": invalid ELF header", WhyNotLoaded("telmar-corrupt-beside.dll"));

  EXPECT_EQ(nullptr, platform::LoadSystemModule("libtelmar-absent.so.1"));
  EXPECT_EQ("libtelmar-absent.so.1: cannot open shared object file: No such file or directory",
            WhyNotLoaded("libtelmar-absent.so.1"));
}

}  // namespace
