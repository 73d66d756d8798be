// The serial parameter file read back from any content.
//
// Input: the whole content of "QLP_CONFIG.INI", written over the default file right
// after the parameter-file object wrote it.
//
// Checked: the status is 0 or one of the file's own codes; on success every value lies
// in its range, and reading the completed file again gives 0 and the very same values
// (what is written back reads back); the file is gone once the object is.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "support/serial_parameters.h"
#include "serial/serial_param_file.h"

namespace {

// Everything ReadParams fills in.
struct Outcome {
  uint16_t status;
  SerialFraming framing;
  ProtocolParams protocol;
  uint8_t port;
  uint8_t station;
  uint16_t simulator;
  uint16_t middle;
  uint16_t response;
  uint16_t most;
};

bool SameValues(const Outcome& a, const Outcome& b) {
  return a.status == b.status && std::memcmp(&a.framing, &b.framing, sizeof a.framing) == 0 &&
         a.protocol.configFirst == b.protocol.configFirst &&
         a.protocol.configThird == b.protocol.configThird &&
         a.protocol.padReader == b.protocol.padReader && a.port == b.port &&
         a.station == b.station && a.simulator == b.simulator && a.middle == b.middle &&
         a.response == b.response && a.most == b.most;
}

// One read with the values the reader link starts from: zeroed records and the
// file-scope parameters at their initial values.
Outcome ReadOnce(SerialParamFile& file) {
  testing_support::ResetSerialParameters();
  Outcome outcome;
  std::memset(&outcome, 0, sizeof outcome);
  outcome.port = comPort;
  outcome.station = padStation;
  outcome.simulator = simulatorType;
  outcome.status = file.ReadParams(outcome.framing, outcome.protocol, outcome.port,
                                   outcome.station, outcome.simulator);
  outcome.middle = configMiddle;
  outcome.response = tReponse;
  outcome.most = tMax;
  return outcome;
}

bool KnownStatus(uint16_t status) {
  switch (status) {
    case 0:
    case PARAM_FILE_ERROR:
    case PARAM_BAD_SPEED:
    case PARAM_BAD_PARITY:
    case PARAM_BAD_DATA_BITS:
    case PARAM_BAD_STOP:
    case PARAM_BAD_PAD_READER:
    case PARAM_BAD_PAD_STATION:
      return true;
    default:
      return false;
  }
}

// Whether some key line of `content` has a value in matching quotes. Such a value is
// read without its quotes, so a value cut to the read buffer that happens to end in the
// quote it starts with reads back differently once written back: the second read may
// then differ, as it would with the Windows profile calls.
bool HasQuotedValue(const std::string& content) {
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    const size_t equals = content.find('=', begin);
    if (equals != std::string::npos && equals < end) {
      size_t first = equals + 1;
      size_t last = end;
      if (last > first && content[last - 1] == '\r') --last;
      while (first < last && (content[first] == ' ' || content[first] == '\t')) ++first;
      while (last > first && (content[last - 1] == ' ' || content[last - 1] == '\t')) --last;
      if (last - first >= 2 && (content[first] == '"' || content[first] == '\'') &&
          content[last - 1] == content[first]) {
        return true;
      }
    }
    begin = end + 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::PrepareDataFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path;
  {
    SerialParamFile file;
    path = file.Path();
    FUZZ_REQUIRE(path == fuzz_support::PrepareDataFolder() + "/QLP_CONFIG.INI");
    fuzz_support::WriteBytes(path, data, size);

    const Outcome first = ReadOnce(file);
    FUZZ_REQUIRE(KnownStatus(first.status));
    if (first.status == 0) {
      FUZZ_REQUIRE(first.framing.speedMultiplier == 1 || first.framing.speedMultiplier == 2);
      FUZZ_REQUIRE(first.framing.dataBits == 7 || first.framing.dataBits == 8);
      FUZZ_REQUIRE(first.framing.parity <= 2);
      FUZZ_REQUIRE(first.framing.stop <= 2);
      FUZZ_REQUIRE(first.station <= 15);
      FUZZ_REQUIRE(first.protocol.padReader <= 15);
      if (!HasQuotedValue(fuzz_support::ReadBytes(path))) {
        const Outcome second = ReadOnce(file);
        FUZZ_REQUIRE(SameValues(first, second));
      }
    }
  }
  bool present = true;
  fuzz_support::ReadBytes(path, &present);
  FUZZ_REQUIRE(!present);
  return 0;
}
