#include "host/library/loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <cstdlib>

namespace ulo::host {
namespace {

void* OpenLibrary(const std::string& path, std::string* error) {
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) *error = "cannot load " + path;
  return reinterpret_cast<void*>(module);
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) *error = dlerror();
  return handle;
#endif
}

}  // namespace

Library::~Library() {
  if (handle == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(reinterpret_cast<HMODULE>(handle));
#else
  dlclose(handle);
#endif
}

bool Library::Load(const std::string& path, std::string* error) {
  handle = OpenLibrary(path, error);
  return handle != nullptr;
}

void* Library::FindSymbol(const char* name) const {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
#else
  return dlsym(handle, name);
#endif
}

bool Library::Resolve(engine::Exports* exports, std::string* error) const {
  // The engine names each export it still lacks.
  for (std::string name = exports->Missing(); !name.empty(); name = exports->Missing()) {
    void* address = FindSymbol(name.c_str());
    if (address == nullptr) {
      *error = "the library has no export named " + name;
      return false;
    }
    exports->Set(name, address);
  }
  return true;
}

std::string DefaultLibraryPath(const char*) {
  return ULO_DEFAULT_LIBRARY_PATH;
}

}  // namespace ulo::host
