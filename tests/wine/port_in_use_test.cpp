// The Windows port check against a fake CreateFileA: which of its answers mean that another
// program holds the port (Wine opens a COM port for a second program, as Windows does not).
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/serial_port.h"

namespace {

std::string opened;
unsigned long answer = 0;
int closed = 0;

void* FakeOpen(const char* name, unsigned long* error) {
  opened = name;
  *error = answer;
  return answer == 0 ? &opened : nullptr;
}

void FakeClose(void*) { ++closed; }

}  // namespace

int main() {
  platform::portOpenApi = {FakeOpen, FakeClose};
  const struct {
    unsigned long error;
    bool inUse;
  } cases[] = {{0, false}, {ERROR_ACCESS_DENIED, true}, {ERROR_SHARING_VIOLATION, true},
               {ERROR_FILE_NOT_FOUND, false}, {ERROR_GEN_FAILURE, false}};
  int failed = 0;
  for (const auto& c : cases) {
    answer = c.error;
    closed = 0;
    const bool inUse = platform::PortInUse(12);
    // Opened by its device name, and let go at once when it opened.
    if (inUse != c.inUse || opened != "\\\\.\\COM12" || closed != (c.error == 0 ? 1 : 0)) {
      std::printf("error %lu: in use %d, not %d; opened %s; closed %d times\n", c.error, inUse,
                  c.inUse, opened.c_str(), closed);
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}
