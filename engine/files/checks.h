// The checks ulo makes on the files it is given, before the library sees
// them, so that bad input gets one clear sentence rather than an empty or
// wrong result.
#ifndef ULO_ENGINE_INPUT_CHECK_H_
#define ULO_ENGINE_INPUT_CHECK_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/files/staging.h"

namespace ulo::engine {

// Longest corpus line (sentence) that count takes.
constexpr size_t kMaxCorpusLine = size_t{1} << 20;
// How much of a file the checks look at.
constexpr size_t kSniffBytes = size_t{64} << 10;
// Longest first line a pair-count file may have: two words of one corpus
// line, which conversion into the library's encoding may make four times as
// long (a one-byte character of the source becomes four), and a count.
constexpr size_t kMaxPairLine = 4 * kMaxCorpusLine + 32;

enum class InputKind {
  kCorpus,     // read once, as a stream: a pipe is fine
  kPairCount,  // read by the library, some operations twice: a regular file
  kStopwords,  // read by every counting run of a count: a regular file
};

// What is wrong with the bytes of the readable file `path` as an input of
// that kind, as a phrase to follow "cannot read PATH: ": not a regular file
// (a pair-count input or a stop-word list), empty, binary (a NUL byte in
// its first kSniffBytes; not looked for in a corpus read through --from,
// whose encoding may hold NULs), or for a pair-count file no line end in
// its first kMaxPairLine.
// Empty when nothing is. Never opens a non-regular file, so a FIFO
// nobody writes cannot make it hang.
std::string ContentProblem(const std::string& path, InputKind kind, bool sniffBinary = true);

// The phrase for a line longer than kMaxCorpusLine.
std::string LongLineProblem();

// Why one corpus line (its line end included) cannot be counted: longer
// than kMaxCorpusLine without its line end, a NUL byte, or with `checkGb` a byte sequence that is
// no GB18030 character (GB2312 and GBK are part of it). Empty when it can.
std::string CorpusLineProblem(std::string_view line, bool checkGb);

// strerror's text for `error`, in the lower case of the rest of a failure
// line ("no space left on device").
std::string ErrorText(int error);

// What is wrong with an existing `path` as an output: it is neither absent
// nor a regular file (a FIFO, a device: renaming over it would replace it).
std::string ExistingOutputProblem(const std::string& path);

// Why writing `path` failed, as the system says it ("no space left on
// device"): `captured` (errno as the failed write left it) when it names a
// cause of failed writes, else what a test write beside `path` meets now.
// Empty when that write succeeds: the cause is then unknown.
std::string WriteFailureCause(const std::string& path, int captured);

// Why `path` cannot be read to its end, as the system says it; empty when
// it can.
std::string ReadFailureCause(const std::string& path);

// Why `path` cannot be read as an input file: "no such file", "is a
// directory", "permission denied", "is empty", "is binary, not text", ...
// (see ContentProblem); empty when it can.
std::string InputFileProblem(const std::string& path, InputKind kind = InputKind::kPairCount,
                             bool sniffBinary = true);
// Why `path` cannot be read as a directory; empty when it can.
std::string InputDirectoryProblem(const std::string& path);
// Why a file cannot be created at `path`, as far as can be told before
// trying: its directory is missing or not a directory, or `path` is one,
// or something else than a regular file.
std::string OutputFileProblem(const std::string& path);

// "IN and OUT are the same file" when writing `out` would replace the
// existing file `in` (one path, or two links to one file); empty when not.
// Every command that writes checks its outputs against its inputs with it.
std::string SameFileProblem(const std::string& in, const std::string& out);

// `path` without the slashes that end it ("/" stays): "dir/" names dir.
std::string WithoutTrailingSlashes(std::string path);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_INPUT_CHECK_H_
