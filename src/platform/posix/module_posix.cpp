#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/module.h"

namespace platform {

namespace {

// "name.dll" becomes "name.so"; other names are kept.
std::string PosixName(const char* fileName) {
  std::string name(fileName);
  const size_t length = name.size();
  if (length > 4 && strcasecmp(name.c_str() + length - 4, ".dll") == 0) {
    name.replace(length - 4, 4, ".so");
  }
  return name;
}

// The folder of the running program, with its trailing '/', or "" when unknown.
std::string ProgramFolder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  path[length] = '\0';
  char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return std::string();
  slash[1] = '\0';
  return std::string(path);
}

ModuleHandle PosixLoad(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') return nullptr;
  const std::string name = PosixName(fileName);
  // As Windows does for a bare name: the program's own folder first.
  if (name.find('/') == std::string::npos) {
    const std::string local = ProgramFolder() + name;
    if (access(local.c_str(), F_OK) == 0) {
      if (void* module = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    }
  }
  return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

ModuleHandle PosixLoadSystem(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0' || std::strchr(fileName, '/') != nullptr) {
    return nullptr;
  }
  return dlopen(PosixName(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
}

EntryPoint PosixEntryPoint(ModuleHandle module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<EntryPoint>(dlsym(module, name));
}

}  // namespace

ModuleApi moduleApi = {PosixLoad, PosixLoadSystem, PosixEntryPoint};

// dlopen never searches the current folder for a bare name.
void RestrictLibrarySearch() {}

// No system dialog waits for a click here.
void SuppressErrorDialogs() {}

}  // namespace platform
