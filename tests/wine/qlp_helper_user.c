/* Makes a stand-in protocol library import from qlphelp.dll: it cannot load without it. */
__declspec(dllimport) int __stdcall QlpHelperReady(void);
int __stdcall DllMain(void* module, unsigned long reason, void* reserved) {
  (void)module; (void)reason; (void)reserved;
  return QlpHelperReady();
}
