// Common ground of the link tests: a data folder holding a freshly written parameter
// file, a call log and a set of simulated readers for the stand-in library, the
// file-scope serial values at their start values, and a loader that records the names
// of the libraries asked for before it loads them for real.
#ifndef TELMAR_TESTS_SERIAL_LINK_FIXTURE_H
#define TELMAR_TESTS_SERIAL_LINK_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/module.h"
#include "serial/probe_command.h"
#include "serial/serial_param_file.h"
#include "serial/serial_reader_link.h"
#include "support/temp_dir.h"

// Readers the stand-in simulates in every link test.
extern const char kSimulatedReaders[];

class LinkTest : public ::testing::Test {
 public:
  // Names passed to the loader since the fixture was built.
  static std::vector<std::string> loadedNames;

 protected:
  LinkTest();
  ~LinkTest() override;

  // Replaces the first `from` in the parameter file by `to`.
  void EditParamFile(const std::string& from, const std::string& to);
  // The lines the stand-in logged so far.
  std::vector<std::string> LogLines() const;
  void ClearLog();
  // SetPort, SetSpeed, Connect and, when connected, the probe: 0 when a reader answered.
  uint16_t Probe(SerialReaderLink& link, int32_t port, int32_t multiplier);

  testing_support::TempDir dir;
  testing_support::ScopedEnv profile;
  testing_support::ScopedEnv logEnv;
  testing_support::ScopedEnv readersEnv;
  std::string folder;
  std::string logPath;
  SerialParamFile paramFile;

 private:
  platform::ModuleApi savedLoader;
};

#endif
