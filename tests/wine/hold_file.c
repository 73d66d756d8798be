/* Holds a file open without sharing, as another program on a workstation may, until a
   second file appears (or a minute passes):  hold_file FILE READY RELEASE
   READY is created once FILE is held. */
#include <windows.h>

int main(int argc, char** argv) {
  HANDLE held;
  HANDLE ready;
  int waited;
  if (argc != 4) return 2;
  held = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (held == INVALID_HANDLE_VALUE) return 1;
  ready = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  for (waited = 0; waited < 600 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++waited) {
    Sleep(100);
  }
  CloseHandle(held);
  return 0;
}
