#include <windows.h>

#include "platform/module.h"

namespace platform {

namespace {

ModuleHandle WindowsLoad(const char* fileName) {
  return reinterpret_cast<ModuleHandle>(LoadLibraryA(fileName));
}

EntryPoint WindowsEntryPoint(ModuleHandle module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<EntryPoint>(GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace

ModuleApi moduleApi = {WindowsLoad, WindowsEntryPoint};

}  // namespace platform
