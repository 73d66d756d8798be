#include <errno.h>

#include <cstring>

#include "platform/system_error.h"

namespace platform {

SystemError LastSystemError() { return static_cast<SystemError>(errno); }

std::string SystemErrorText(SystemError error) {
  return "error " + std::to_string(error) + " (" + std::strerror(static_cast<int>(error)) + ")";
}

}  // namespace platform
