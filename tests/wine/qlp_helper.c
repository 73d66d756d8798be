/* qlphelp.dll: a DLL of the protocol library's own, which the system must find for it. */
__declspec(dllexport) int __stdcall QlpHelperReady(void) { return 1; }
