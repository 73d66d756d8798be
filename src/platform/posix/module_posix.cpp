#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
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

// The loader's message for the latest failed load; dlerror() is taken at once, since the
// next call into the loader replaces it.
char lastLoadFailure[512];

void RememberFailure(const char* text) {
  std::snprintf(lastLoadFailure, sizeof lastLoadFailure, "%s", text != nullptr ? text : "");
}

ModuleHandle Open(const std::string& name) {
  void* module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) RememberFailure(dlerror());
  return module;
}

ModuleHandle PosixLoad(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') {
    RememberFailure("no file name");
    return nullptr;
  }
  const std::string name = PosixName(fileName);
  // As Windows does for a bare name: the program's own folder first. When a file there
  // cannot be loaded, its reason is the one kept should the search find no other.
  if (name.find('/') == std::string::npos) {
    const std::string local = ProgramFolder() + name;
    if (access(local.c_str(), F_OK) == 0) {
      if (void* module = Open(local)) return module;
      char localFailure[sizeof lastLoadFailure];
      std::memcpy(localFailure, lastLoadFailure, sizeof localFailure);
      if (void* module = Open(name)) return module;
      RememberFailure(localFailure);
      return nullptr;
    }
  }
  return Open(name);
}

ModuleHandle PosixLoadSystem(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0' || std::strchr(fileName, '/') != nullptr) {
    RememberFailure("not a bare file name");
    return nullptr;
  }
  return Open(PosixName(fileName));
}

EntryPoint PosixEntryPoint(ModuleHandle module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<EntryPoint>(dlsym(module, name));
}

void PosixWhyNotLoaded(const char*, char* out, size_t size) {
  if (size > 0) std::snprintf(out, size, "%s", lastLoadFailure);
}

}  // namespace

ModuleApi moduleApi = {PosixLoad, PosixLoadSystem, PosixEntryPoint, PosixWhyNotLoaded};

// dlopen never searches the current folder for a bare name.
void RestrictLibrarySearch() {}

// No system dialog waits for a click here.
void SuppressErrorDialogs() {}

bool ModulePath(ModuleHandle module, char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  struct link_map* map = nullptr;
  if (module == nullptr || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
      map->l_name == nullptr || std::strlen(map->l_name) >= size) {
    return false;
  }
  std::memcpy(out, map->l_name, std::strlen(map->l_name) + 1);
  return true;
}

}  // namespace platform
