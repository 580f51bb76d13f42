// The Vorn_ULO library as the host sees it: loaded at run time and reached
// only through its exported names, as any host application reaches it.
#ifndef ULO_HOST_LIBRARY_LOADER_H_
#define ULO_HOST_LIBRARY_LOADER_H_

#include <string>

#include "engine/session/exports.h"
#include "vorn_ulo.h"

namespace ulo::host {

class Library {
 public:
  Library() = default;
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Loads the library at `path`. On failure returns false and fills `*error`
  // with a sentence for the user.
  bool Load(const std::string& path, std::string* error);

  // Fills `*exports` with the eight exports; false with a sentence in
  // `*error` when one is missing.
  bool Resolve(engine::Exports* exports, std::string* error) const;

 private:
  void* FindSymbol(const char* name) const;

  void* handle = nullptr;
};

// Where the library is looked for when no --library is given.
std::string DefaultLibraryPath(const char* argv0);

}  // namespace ulo::host

#endif  // ULO_HOST_LIBRARY_LOADER_H_
