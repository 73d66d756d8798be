// A scripted workstation for the probe driver: the driver's collaborators are replaced at
// link time by fakes that answer from this script and record every call in order.
#ifndef TELMAR_TESTS_APP_FAKE_WORKSTATION_H
#define TELMAR_TESTS_APP_FAKE_WORKSTATION_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct FakeWorkstation {
  uint16_t linkStatus = 0;
  std::vector<int32_t> comPorts;                // what port discovery reports, in order
  std::map<int32_t, std::set<int32_t>> readers;  // port -> speed multipliers it answers at
  std::vector<std::string> pcscReaders;
  std::set<int32_t> portsInUse;          // held by another program
  std::set<int32_t> earlierSerialPorts;  // the serial readers an earlier telmar.old lists

  std::vector<std::string> calls;  // every collaborator call, in order
};

extern FakeWorkstation workstation;

#endif
