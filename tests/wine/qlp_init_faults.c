/* Makes a stand-in protocol library fault while it initialises: its initialisation routine
   writes to the last bytes of the address space, which no process has mapped (address 0 will
   not do: Wine maps the first page of a 32-bit process). */
int __stdcall DllMain(void* module, unsigned long reason, void* reserved) {
  int* volatile nowhere = (int*)0 - 4;
  (void)module; (void)reserved;
  if (reason == 1) *nowhere = 1; /* DLL_PROCESS_ATTACH */
  return 1;
}
