#include "link_fixture.h"
#include "support/lines.h"
#include "support/serial_parameters.h"

const char kSimulatedReaders[] = "3@19200,5@9600,7@19200/9600";

std::vector<std::string> LinkTest::loadedNames;

namespace {

platform::ModuleApi realLoader;

platform::ModuleHandle RecordingLoad(const char* fileName) {
  LinkTest::loadedNames.push_back(fileName);
  return realLoader.load(fileName);
}

}  // namespace

LinkTest::LinkTest()
    : profile("ALLUSERSPROFILE", dir.path().c_str()),
      logEnv("QLP_SIM_LOG", dir.Join("calls.log").c_str()),
      readersEnv("QLP_SIM_READERS", kSimulatedReaders),
      folder(dir.MakeDir("velmora/telmarv3")),
      logPath(dir.Join("calls.log")),
      savedLoader(platform::moduleApi) {
  testing_support::ResetSerialParameters();
  libraryHandle = nullptr;
  entryPoints = QlpEntryPoints();
  commandLength = 0;
  responseLength = 0;
  loadedNames.clear();
  realLoader = savedLoader;
  platform::moduleApi.load = RecordingLoad;
}

LinkTest::~LinkTest() { platform::moduleApi = savedLoader; }

void LinkTest::EditParamFile(const std::string& from, const std::string& to) {
  std::string content = testing_support::ReadFile(paramFile.Path());
  const size_t at = content.find(from);
  ASSERT_NE(std::string::npos, at) << from;
  content.replace(at, from.size(), to);
  testing_support::WriteFile(paramFile.Path(), content);
}

std::vector<std::string> LinkTest::LogLines() const {
  return testing_support::SplitLines(testing_support::ReadFile(logPath), "\n");
}

void LinkTest::ClearLog() { testing_support::WriteFile(logPath, ""); }

uint16_t LinkTest::Probe(SerialReaderLink& link, int32_t port, int32_t multiplier) {
  link.SetPort(port);
  link.SetSpeed(multiplier);
  const uint16_t connected = link.Connect();
  if (connected != 0) return connected;
  ProbeCommand probe(link);
  return probe.Send();
}
