// A pair file's seal: its size and a hash of its bytes, kept in an extended
// attribute of the file, set where the engine knows the file to be a
// well-formed merged pair file (a spill file its count's library wrote). A
// later check of a sealed file hashes it, a fifth of the work of reading it
// line by line. A file changed since, copied without its attributes, or on a
// file system without them has no valid seal and is read line by line as
// any other.
#ifndef ULO_ENGINE_FILES_SEAL_H_
#define ULO_ENGINE_FILES_SEAL_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ulo::engine {

// Seals `path` as it is now. Best effort: false when the file cannot be
// read or the file system keeps no such attribute. With `lines`, also
// counts the file's LF bytes into `*lines`, from the same read.
bool Seal(const std::string& path, uint64_t* lines = nullptr);

// Whether `path` bears a seal that matches its bytes.
bool Sealed(const std::string& path);

// The regular files directly in `dir`, by name.
std::vector<std::string> FileNames(const std::string& dir);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_FILES_SEAL_H_
