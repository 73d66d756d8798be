// Libraries loaded at run time by bare file name, and their entry points by name.
#ifndef TELMAR_PLATFORM_MODULE_H
#define TELMAR_PLATFORM_MODULE_H

#include <cstddef>
#include <cstring>

namespace platform {

typedef void* ModuleHandle;
typedef void (*EntryPoint)();

// The loader in use. The real one is LoadLibraryA/GetProcAddress on Windows, and
// dlopen/dlsym on POSIX, where "name.dll" is looked up as "name.so". Tests may put fakes
// in its place.
struct ModuleApi {
  // A library that ships with the program: its own folder first, then the system's
  // library search path.
  ModuleHandle (*load)(const char* fileName);
  // A library of the operating system: from the system folder only on Windows, along the
  // system's library search path elsewhere; never from the program's or the current folder.
  ModuleHandle (*loadSystem)(const char* fileName);
  EntryPoint (*entryPoint)(ModuleHandle module, const char* name);
  // Why the latest call of load or loadSystem that returned null failed, as one line of
  // text in `out` (`size` bytes, cut to fit): on Windows the system's error code, its
  // meaning where it is a usual one, and the path of the file when the same search finds
  // it (a file found but not loaded is then told from one that is absent, and a folder of
  // that name from a file); elsewhere the loader's own message (dlerror). `fileName` is the
  // name that call was given.
  void (*whyNotLoaded)(const char* fileName, char* out, size_t size);
};
extern ModuleApi moduleApi;

inline ModuleHandle LoadModule(const char* fileName) { return moduleApi.load(fileName); }
inline ModuleHandle LoadSystemModule(const char* fileName) {
  return moduleApi.loadSystem(fileName);
}
// Room for the text of whyNotLoaded: a path and a sentence.
const size_t kWhyNotLoadedSize = 640;
inline void WhyNotLoaded(const char* fileName, char* out, size_t size) {
  moduleApi.whyNotLoaded(fileName, out, size);
}
// The address of `name` in `module`; null when it is missing or the module is null.
inline EntryPoint FindEntryPoint(ModuleHandle module, const char* name) {
  return moduleApi.entryPoint(module, name);
}

// One row of a table of entry points: a name, and the function pointer, of whatever type,
// that receives its address.
struct EntryPointSlot {
  const char* name;
  void* slot;
};

// Looks the names of `table` up in `module`, in order, each address (null when missing) into
// its slot, and tells `missing` (when given) of each name not found. With `stopAtMissing` the
// look-up ends at the first missing name, the later slots left as they were. True when every
// name looked up was found.
inline bool ResolveEntryPoints(ModuleHandle module, const EntryPointSlot* table, size_t count,
                               bool stopAtMissing, void (*missing)(const char* name) = nullptr) {
  bool complete = true;
  for (size_t i = 0; i < count && (complete || !stopAtMissing); ++i) {
    const EntryPoint entry = FindEntryPoint(module, table[i].name);
    std::memcpy(table[i].slot, &entry, sizeof entry);
    if (entry == nullptr && missing != nullptr) missing(table[i].name);
    complete = complete && entry != nullptr;
  }
  return complete;
}

// Takes the current folder out of the library search of this process where the system
// allows it, so that a library planted in the folder the program is started from is never
// loaded; the rest of the system's search for bare names stays as it is. Called once,
// before any library is loaded.
void RestrictLibrarySearch();

// Keeps the system from showing a dialog and waiting for a click that never comes in an
// unattended run: no "no disk in drive" box while a search walks an empty removable drive,
// no "bad image" box for a library that cannot be loaded, no crash box when code faults
// (the process then just ends). Called once, before any library is loaded.
void SuppressErrorDialogs();

// The full path of a loaded module (GetModuleFileNameA, or the loader's record of it);
// false, with `out` empty, when it is not known or does not fit in `size` bytes. Paths here
// and in whyNotLoaded name a file where an administrator finds it: under WOW64, below
// SysWOW64 rather than the system32 that the 32-bit program is told.
bool ModulePath(ModuleHandle module, char* out, size_t size);

}  // namespace platform

#endif
