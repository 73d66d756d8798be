/* Makes a stand-in protocol library refuse to be loaded: its initialisation routine fails. */
int __stdcall DllMain(void* module, unsigned long reason, void* reserved) {
  (void)module; (void)reserved;
  return reason != 1; /* DLL_PROCESS_ATTACH */
}
