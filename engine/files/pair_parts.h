// A pair-count file left in parts: a directory of sorted parts whose key
// ranges follow one another, with an index naming them in order. The parts
// concatenated are the one sorted file, so every reader of pair-count files
// takes such a directory wherever it takes a file.
#ifndef ULO_ENGINE_FILES_PAIR_PARTS_H_
#define ULO_ENGINE_FILES_PAIR_PARTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/files/pair_check.h"
#include "engine/files/staging.h"

namespace ulo::engine {

// The index's name inside a parts directory.
inline constexpr char kPartsIndex[] = "index.txt";

// The name of part `k` (0-based).
std::string PartName(size_t k);

// Whether `path` is a directory with a parts index.
bool IsPartsDirectory(const std::string& path);

// Why `path` cannot be read as a pair-count file (see InputFileProblem); a
// parts directory can. Empty when it can.
std::string PairFileProblem(const std::string& path);

// The first thing wrong with the pair-count file `path` with `needs` (see
// PairFileProblem of pair_check.h); a parts directory is checked as the one
// file it stands for: each part, and with order or unique, that each part's
// first words lie in its range of the index. Empty when nothing is.
std::string PairFileOrPartsProblem(const std::string& path, PairNeeds needs);

// The files that make up the pair-count file `path`: `path` itself, or the
// parts of a parts directory in key order. False with a sentence in
// `*error` when the index cannot be read or names a missing part.
// With `keys`, also the first words that begin parts 2, 3, ... (the split
// keys).
bool PairFileParts(const std::string& path, std::vector<std::string>* files, std::string* error,
                   std::vector<std::string>* keys = nullptr);

// Writes the index of `parts` parts into `dir`: part k holds the first words
// from keys[k - 1] (the first part: from the lowest) up to, not including,
// keys[k] (the last part: to the highest). False with a sentence in `*error`.
bool WritePartsIndex(const std::string& dir, size_t parts, const std::vector<std::string>& keys,
                     std::string* error);

// Copies `length` bytes of the file `from`, from byte `begin`, into the
// file `to` (created if missing, never truncated) at byte `at`; the kernel
// copies, without a pass through this process. False with a sentence.
bool CopyBytes(const std::string& from, uint64_t begin, uint64_t length, const std::string& to,
               uint64_t at, std::string* error);
// Copies the whole file `from` into the file `to` (created if missing,
// never truncated) at byte `offset`. False with a sentence in `*error`.
bool CopyInto(const std::string& from, const std::string& to, uint64_t offset, std::string* error);

// Appends `parts`, one after another, to the file `joined` (created if
// missing): each is copied to its place at once, in threads, by the kernel.
// False with a sentence in `*error`.
bool AppendParts(const std::vector<std::string>& parts, const std::string& joined,
                 std::string* error);

// The pair-count file `path` as one file for an operation of the library:
// `path` itself, or a parts directory's parts joined into a scratch
// directory beside `near` (the operation's output), removed when this ends.
class JoinedPairFile {
 public:
  // False with a sentence in `*error`.
  bool Open(const std::string& path, const std::string& near, std::string* error);
  const std::string& path() const { return file; }

 private:
  ScratchDirectory scratch;
  std::string file;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_FILES_PAIR_PARTS_H_
