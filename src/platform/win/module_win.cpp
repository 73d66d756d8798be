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

void RestrictLibrarySearch() { SetDllDirectoryA(""); }

}  // namespace platform
