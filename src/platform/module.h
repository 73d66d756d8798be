// Libraries loaded at run time by bare file name, and their entry points by name.
#ifndef TELMAR_PLATFORM_MODULE_H
#define TELMAR_PLATFORM_MODULE_H

namespace platform {

typedef void* ModuleHandle;
typedef void (*EntryPoint)();

// The loader in use. The real one is LoadLibraryA/GetProcAddress on Windows, and
// dlopen/dlsym on POSIX, where "name.dll" is looked up as "name.so", in the program's
// own folder first, then along the system's library search path. Tests may put fakes
// in its place.
struct ModuleApi {
  ModuleHandle (*load)(const char* fileName);
  EntryPoint (*entryPoint)(ModuleHandle module, const char* name);
};
extern ModuleApi moduleApi;

inline ModuleHandle LoadModule(const char* fileName) { return moduleApi.load(fileName); }
inline EntryPoint FindEntryPoint(ModuleHandle module, const char* name) {
  return moduleApi.entryPoint(module, name);
}

}  // namespace platform

#endif
