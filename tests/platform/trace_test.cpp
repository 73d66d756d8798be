#include "platform/trace.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

using testing_support::ScopedEnv;

// The trace is opened once per process, on first use: no other test of this program uses it.
TEST(Trace, AppendsOneLinePerEventWithControlCharactersBlankedAndLongLinesCut) {
  testing_support::TempDir dir;
  const std::string path = dir.Join("trace.log");
  testing_support::WriteFile(path, "an earlier report\n");
  const std::string folder = dir.MakeDir("velmora/telmarv3");
  ScopedEnv log("TELMAR_SETUP_LOG", path.c_str());
  ScopedEnv profile("ALLUSERSPROFILE", dir.path().c_str());

  platform::Trace("reader \"%s\" on COM%d", "A\r\nB\x7F\xE9", 3);
  platform::Trace("%s", std::string(2 * platform::kTraceLineSize, 'x').c_str());

  const std::string text = testing_support::ReadFile(path);
  EXPECT_EQ(0u, text.find("an earlier report\ntelmar-setup ")) << text;
  EXPECT_NE(std::string::npos, text.find("\ndata folder " + folder + "/: exists\n"
                                         "reader \"A  B \xE9\" on COM3\n" +
                                         std::string(platform::kTraceLineSize - 1, 'x') + "\n"))
      << text;
  EXPECT_EQ('\n', text.back());
}

}  // namespace
