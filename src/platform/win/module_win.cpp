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
  // Where the system offers it (Windows 8, or 7 with its loader update): bare names are
  // looked up in the program's folder and the system folder only.
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC proc = kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
  if (proc != nullptr) {
    const DWORD kSearchDefaultDirs = 0x00001000;  // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
    reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(proc))(kSearchDefaultDirs);
  }
  // Everywhere else (from Windows XP SP1 on): at least not the current folder.
  SetDllDirectoryA("");
}

}  // namespace platform
