#include "host/library.h"

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
  exports->filtrate = Find<decltype(exports->filtrate)>("ULO_Filtrate", error);
  exports->getTopN = Find<decltype(exports->getTopN)>("ULO_GetTopNWordSupportRec", error);
  exports->getSupport = Find<decltype(exports->getSupport)>("ULO_GetWordSupportRec", error);
  exports->mulMergeFile = Find<decltype(exports->mulMergeFile)>("ULO_MulMergeFile", error);
  exports->addPair = Find<decltype(exports->addPair)>("ULO_Stat_AssociatedFreq", error);
  exports->begin = Find<decltype(exports->begin)>("ULO_Stat_AssociatedFreq_Begin", error);
  exports->end = Find<decltype(exports->end)>("ULO_Stat_AssociatedFreq_End", error);
  exports->createInstance =
      Find<decltype(exports->createInstance)>("VornModule_CreateInstance", error);
  return exports->Missing().empty();
}

std::string DefaultLibraryPath(const char*) {
  return ULO_DEFAULT_LIBRARY_PATH;
}

}  // namespace ulo::host
