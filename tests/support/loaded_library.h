// The library loaded at run time, as a host loads it: by its path with
// dlopen, or on Windows by its name with LoadLibraryA, from the program's own
// directory. Unloaded when the object ends.
#ifndef ULO_TESTS_LOADED_LIBRARY_H_
#define ULO_TESTS_LOADED_LIBRARY_H_

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string>

namespace ulo::testing {

// The eight exports, in the order of their ordinals (their names' order).
inline constexpr const char* kExportNames[] = {
    "ULO_Filtrate",
    "ULO_GetTopNWordSupportRec",
    "ULO_GetWordSupportRec",
    "ULO_MulMergeFile",
    "ULO_Stat_AssociatedFreq",
    "ULO_Stat_AssociatedFreq_Begin",
    "ULO_Stat_AssociatedFreq_End",
    "VornModule_CreateInstance",
};

class LoadedLibrary {
 public:
#if defined(_WIN32)
  LoadedLibrary() {
    handle = LoadLibraryA(ULO_LIBRARY_NAME);
    if (handle == nullptr) loadError = "error " + std::to_string(GetLastError());
  }
#else
  // `path`: the library under test, or another build of it.
  explicit LoadedLibrary(const char* path = ULO_LIBRARY_PATH) {
    handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) loadError = dlerror();
  }
#endif
  ~LoadedLibrary() {
    if (handle == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(handle);
#else
    dlclose(handle);
#endif
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool loaded() const {
    return handle != nullptr;
  }
  // Why the library could not be loaded.
  const std::string& error() const {
    return loadError;
  }

  void* Find(const char* name) const {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(handle, name));
#else
    return dlsym(handle, name);
#endif
  }

#if defined(_WIN32)
  void* FindOrdinal(WORD ordinal) const {
    return reinterpret_cast<void*>(GetProcAddress(handle, MAKEINTRESOURCEA(ordinal)));
  }
  HMODULE module() const {
    return handle;
  }
#endif

 private:
#if defined(_WIN32)
  HMODULE handle;
#else
  void* handle;
#endif
  std::string loadError;
};

}  // namespace ulo::testing

#endif  // ULO_TESTS_LOADED_LIBRARY_H_
