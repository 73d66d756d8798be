/* A library that never finishes loading, as one held by a dialog would: a run that loads it
   does not end by itself. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void* reserved) {
  (void)module; (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) Sleep(INFINITE);
  return TRUE;
}
