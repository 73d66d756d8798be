// The reader list against the real PC/SC service: a private pcscd with virtual readers,
// started and stopped by tests/tools/pcscd-session.sh.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/pcsc_reader_list.h"
#include "support/lines.h"
#include "support/temp_dir.h"

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

int RunSession(const std::string& arguments) {
  const std::string command = Quoted(TELMAR_PCSCD_SESSION) + " " + arguments;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Stops the service whatever the test's outcome.
class PcscdSession {
 public:
  explicit PcscdSession(const std::string& dir) : dir_(dir) {}
  ~PcscdSession() { RunSession("stop " + Quoted(dir_)); }
  PcscdSession(const PcscdSession&) = delete;
  PcscdSession& operator=(const PcscdSession&) = delete;

 private:
  std::string dir_;
};

TEST(PcscService, ListsExactlyTheReadersTheServiceReportsInItsOrder) {
  testing_support::TempDir dir;
  // A blank inside a name, and a byte above 0x7F (Latin-1 e acute).
  const std::vector<std::string> definitions = {"Reader A", "Lecteur \xE9tendu 2"};
  std::string arguments = "start " + Quoted(dir.path());
  for (const std::string& name : definitions) arguments += " " + Quoted(name);

  PcscdSession session(dir.path());
  const int started = RunSession(arguments);
  if (started == 77) GTEST_SKIP() << "no private pcscd could be started (see the output)";
  ASSERT_EQ(0, started) << "pcscd-session.sh start failed";

  const std::vector<std::string> reported =
      testing_support::SplitLines(testing_support::ReadFile(dir.Join("reader-names.txt")), "\n");
  ASSERT_FALSE(reported.empty()) << testing_support::ReadFile(dir.Join("pcscd.log"));
  EXPECT_EQ("Reader A 00 00", reported.front());

  PcscReaderList list;
  std::vector<std::string> listed;
  for (int32_t i = 0; i < list.GetCount(); ++i) listed.push_back(list.GetName(i));
  EXPECT_EQ(nullptr, list.GetName(list.GetCount()));

  // What the service listed, kept beside the test for whoever reads the run.
  std::ofstream out("pcscd-listed-names.txt", std::ios::binary | std::ios::trunc);
  for (const std::string& name : listed) out << name << '\n';

  EXPECT_EQ(reported, listed);
  bool sawHighByte = false;
  for (const std::string& name : listed) {
    if (name.find('\xE9') != std::string::npos) sawHighByte = true;
  }
  EXPECT_TRUE(sawHighByte);
}

TEST(PcscService, WithoutTheServiceTheListIsEmpty) {
  testing_support::TempDir dir;
  // Make sure no pcscd of ours runs; another one means this test cannot tell.
  RunSession("stop " + Quoted(dir.path()));
  if (RunSession("running") == 0) {
    GTEST_SKIP() << "a pcscd is running";
  }
  PcscReaderList list;
  EXPECT_EQ(0, list.GetCount());
  EXPECT_EQ(nullptr, list.GetName(0));
}

}  // namespace
