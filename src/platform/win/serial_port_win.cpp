#include <windows.h>

#include <cstdio>

#include "platform/serial_port.h"

namespace platform {

namespace {

void* OpenPort(const char* name, unsigned long* error) {
  HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  *error = port == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  return port == INVALID_HANDLE_VALUE ? nullptr : port;
}

void ClosePort(void* port) { CloseHandle(static_cast<HANDLE>(port)); }

}  // namespace

PortOpenApi portOpenApi = {OpenPort, ClosePort};

bool PortInUse(int32_t number) {
  // The device name, which also reaches ports above COM9.
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\COM%ld", static_cast<long>(number));
  unsigned long error = 0;
  void* port = portOpenApi.open(name, &error);
  if (port != nullptr) {
    portOpenApi.close(port);
    return false;
  }
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

}  // namespace platform
