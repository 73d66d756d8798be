#include <windows.h>

#include "platform/module.h"

namespace platform {

namespace {

ModuleHandle WindowsLoad(const char* fileName) {
  return reinterpret_cast<ModuleHandle>(LoadLibraryA(fileName));
}

ModuleHandle WindowsLoadSystem(const char* fileName) {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  size_t nameLength = lstrlenA(fileName);
  if (length == 0 || length + 1 + nameLength + 1 > MAX_PATH) return nullptr;
  path[length] = '\\';
  CopyMemory(path + length + 1, fileName, nameLength + 1);
  return reinterpret_cast<ModuleHandle>(LoadLibraryA(path));
}

EntryPoint WindowsEntryPoint(ModuleHandle module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<EntryPoint>(GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace

ModuleApi moduleApi = {WindowsLoad, WindowsLoadSystem, WindowsEntryPoint};

void RestrictLibrarySearch() {
  // Bare names stay with the system's ordinary search (the program's folder, the system
  // folders, the Windows folder, the PATH), for the protocol library and for every library
  // it needs in turn; only the current folder is taken out, from Windows XP SP1 on. Looked
  // up at run time, so that the program still starts where the call does not exist.
  typedef BOOL(WINAPI * SetDllDirectoryAFn)(LPCSTR);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC proc = kernel != nullptr ? GetProcAddress(kernel, "SetDllDirectoryA") : nullptr;
  if (proc != nullptr) reinterpret_cast<SetDllDirectoryAFn>(reinterpret_cast<void*>(proc))("");
}

void SuppressErrorDialogs() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

}  // namespace platform
