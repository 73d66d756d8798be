#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/module.h"
#include "platform/system_error.h"

namespace platform {

namespace {

// What the latest failed load left: GetLastError, taken at once (the trace, among others,
// makes calls that change it), and whether the name was looked up in the system folder only.
DWORD lastLoadError = 0;
bool lastLoadWasSystem = false;

ModuleHandle Loaded(HMODULE module, bool system) {
  if (module == nullptr) {
    lastLoadError = GetLastError();
    lastLoadWasSystem = system;
  }
  return reinterpret_cast<ModuleHandle>(module);
}

// `fileName` appended to the system folder; false when it does not fit in MAX_PATH.
bool SystemPath(const char* fileName, char* path) {
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  size_t nameLength = lstrlenA(fileName);
  if (length == 0 || length + 1 + nameLength + 1 > MAX_PATH) return false;
  path[length] = '\\';
  CopyMemory(path + length + 1, fileName, nameLength + 1);
  return true;
}

ModuleHandle WindowsLoad(const char* fileName) { return Loaded(LoadLibraryA(fileName), false); }

ModuleHandle WindowsLoadSystem(const char* fileName) {
  char path[MAX_PATH];
  if (!SystemPath(fileName, path)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return Loaded(nullptr, true);
  }
  return Loaded(LoadLibraryA(path), true);
}

EntryPoint WindowsEntryPoint(ModuleHandle module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<EntryPoint>(GetProcAddress(static_cast<HMODULE>(module), name));
}

// The file that LoadLibraryA's search for a bare name meets first in this process: the
// program's folder, the system folder, the 16-bit system folder, the Windows folder, then
// the folders of the PATH (the current folder is out: RestrictLibrarySearch). False when
// there is none.
bool FindAsLoaderDoes(const char* fileName, char* out, DWORD size) {
  char program[MAX_PATH] = "", system[MAX_PATH] = "", windows[MAX_PATH] = "";
  // One byte short of the buffer: a path cut to fit is left without its terminator on XP.
  DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH - 1);
  while (length > 0 && program[length - 1] != '\\') --length;
  program[length] = '\0';
  if (GetSystemDirectoryA(system, MAX_PATH) >= MAX_PATH) system[0] = '\0';
  if (GetWindowsDirectoryA(windows, MAX_PATH) >= MAX_PATH) windows[0] = '\0';
  const DWORD room = 5 * MAX_PATH + GetEnvironmentVariableA("PATH", nullptr, 0);
  char* folders = static_cast<char*>(std::malloc(room));
  if (folders == nullptr) return false;
  const int used =
      std::snprintf(folders, room, "%s;%s;%s\\System;%s;", program, system, windows, windows);
  GetEnvironmentVariableA("PATH", folders + used, room - used);
  const DWORD found = SearchPathA(folders, fileName, nullptr, size, out, nullptr);
  std::free(folders);
  return found > 0 && found < size;
}

void WindowsWhyNotLoaded(const char* fileName, char* out, size_t size) {
  char path[MAX_PATH];
  bool found;
  if (lastLoadWasSystem) {
    const DWORD attributes = SystemPath(fileName, path) ? GetFileAttributesA(path) : 0;
    found = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  } else {
    found = FindAsLoaderDoes(fileName, path, MAX_PATH);
  }
  const char* where = lastLoadWasSystem ? "in the system folder" : "on the search path";
  const char* consequence =
      found && lastLoadError == ERROR_MOD_NOT_FOUND ? ", so a library it needs is missing" : "";
  if (found) {
    std::snprintf(out, size, "%s; found at %s%s", SystemErrorText(lastLoadError).c_str(), path,
                  consequence);
  } else {
    std::snprintf(out, size, "%s; no such file %s", SystemErrorText(lastLoadError).c_str(), where);
  }
}

}  // namespace

ModuleApi moduleApi = {WindowsLoad, WindowsLoadSystem, WindowsEntryPoint, WindowsWhyNotLoaded};

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

bool ModulePath(ModuleHandle module, char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  if (module == nullptr) return false;
  // Before Windows Vista a path that fills the buffer is left without its terminator.
  const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(module), out,
                                          static_cast<DWORD>(size));
  if (length == 0 || length >= size) {
    out[0] = '\0';
    return false;
  }
  out[length] = '\0';
  return true;
}

}  // namespace platform
