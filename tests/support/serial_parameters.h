// Puts the process-wide serial parameters back to the values they hold when the program
// starts, for tests that read the parameter file or build a link more than once.
#ifndef TELMAR_TESTS_SUPPORT_SERIAL_PARAMETERS_H
#define TELMAR_TESTS_SUPPORT_SERIAL_PARAMETERS_H

#include "serial/serial_params.h"

namespace testing_support {

inline void ResetSerialParameters() {
  comPort = 1;
  padStation = 15;
  configMiddle = 300;
  tReponse = 1000;
  tMax = 65535;
  simulatorType = 0;
}

}  // namespace testing_support

#endif
