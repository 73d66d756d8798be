#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

// A function of kernel32.dll that not every supported Windows has, looked up at run time so
// that the program still starts where it is missing; null there.
FARPROC KernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}

template <typename Function>
Function KernelFunction(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(KernelFunction(name)));
}

// Under WOW64 (the 32-bit program on 64-bit Windows), the folder that the system shows an
// administrator as the one this program's system folder really is: the program is told
// system32, and the system redirects its every access there to SysWOW64, where the files
// lie. False elsewhere. IsWow64Process came with Windows XP SP2, GetSystemWow64DirectoryA
// exists on 64-bit Windows only.
bool Wow64SystemFolder(char* out) {
  typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
  typedef UINT(WINAPI * GetSystemWow64DirectoryAFn)(LPSTR, UINT);
  const IsWow64ProcessFn isWow64 = KernelFunction<IsWow64ProcessFn>("IsWow64Process");
  const GetSystemWow64DirectoryAFn wow64Folder =
      KernelFunction<GetSystemWow64DirectoryAFn>("GetSystemWow64DirectoryA");
  BOOL wow64 = FALSE;
  if (isWow64 == nullptr || wow64Folder == nullptr || !isWow64(GetCurrentProcess(), &wow64) ||
      !wow64) {
    return false;
  }
  const UINT length = wow64Folder(out, MAX_PATH);
  return length > 0 && length < MAX_PATH;
}

// `path` (`size` bytes) as an administrator finds it: under WOW64, a path below the system
// folder the program is told is named below the folder where the file really lies. Left as it
// is when the new name does not fit.
void AsAdministratorSeesIt(char* path, size_t size) {
  char system[MAX_PATH], wow64[MAX_PATH];
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || lstrlenA(path) <= static_cast<int>(length) ||
      path[length] != '\\' ||
      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, length, system, length) != CSTR_EQUAL ||
      !Wow64SystemFolder(wow64)) {
    return;
  }
  const std::string shown = std::string(wow64) + (path + length);
  if (shown.size() < size) CopyMemory(path, shown.c_str(), shown.size() + 1);
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

// ERROR_INVALID_IMAGE_HASH, from Windows Vista on: a code-integrity policy refused the file.
const DWORD kInvalidImageHash = 577;

// What the codes that a failed load leaves mean there; null for the others, which are told
// as any system error is.
const char* LoadErrorMeaning(DWORD error) {
  switch (error) {
    case ERROR_MOD_NOT_FOUND: return "module not found";
    case ERROR_BAD_EXE_FORMAT:
      return sizeof(void*) == 4 ? "not a valid 32-bit image" : "not a valid 64-bit image";
    case ERROR_BAD_FORMAT: return "not a valid image";
    case ERROR_EXE_MACHINE_TYPE_MISMATCH: return "built for another machine type";
    case ERROR_DLL_INIT_FAILED: return "its initialisation routine failed";
    case ERROR_NOACCESS: return "the library faulted while it initialised";
    case ERROR_PROC_NOT_FOUND: return "a function it imports is missing from a library it needs";
    case ERROR_INVALID_ORDINAL: return "an ordinal it imports is missing from a library it needs";
    case ERROR_SXS_CANT_GEN_ACTCTX: return "its side-by-side configuration is incorrect";
    case kInvalidImageHash: return "its signature could not be verified";
    case ERROR_ACCESS_DISABLED_BY_POLICY: return "blocked by a software restriction policy";
    default: return nullptr;
  }
}

std::string LoadErrorText(DWORD error) {
  const char* meaning = LoadErrorMeaning(error);
  if (meaning == nullptr) return SystemErrorText(error);
  char text[128];
  std::snprintf(text, sizeof text, "error %lu (%s)", error, meaning);
  return text;
}

void WindowsWhyNotLoaded(const char* fileName, char* out, size_t size) {
  char path[MAX_PATH];
  bool found;
  if (lastLoadWasSystem) {
    found = SystemPath(fileName, path) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
  } else {
    found = FindAsLoaderDoes(fileName, path, MAX_PATH);
  }
  // A folder of the library's name is met by the search as a file would be.
  const DWORD attributes = found ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
  const bool folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::string error = LoadErrorText(lastLoadError);
  const char* where = lastLoadWasSystem ? "in the system folder" : "on the search path";
  const char* consequence = folder ? ", which is a folder, not a library"
                            : lastLoadError == ERROR_MOD_NOT_FOUND
                                ? ", so a library it needs is missing"
                                : "";
  if (found) {
    AsAdministratorSeesIt(path, sizeof path);
    std::snprintf(out, size, "%s; found at %s%s", error.c_str(), path, consequence);
  } else {
    std::snprintf(out, size, "%s; no such file %s", error.c_str(), where);
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
  const SetDllDirectoryAFn setDllDirectory = KernelFunction<SetDllDirectoryAFn>("SetDllDirectoryA");
  if (setDllDirectory != nullptr) setDllDirectory("");
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
  AsAdministratorSeesIt(out, size);
  return true;
}

}  // namespace platform
