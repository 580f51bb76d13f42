// The library's file operations as the commands run them: the inputs are
// checked first, so that a failure line says its cause, then the library is
// called and its answer put in words.
#ifndef ULO_ENGINE_OPERATIONS_H_
#define ULO_ENGINE_OPERATIONS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/files/staging.h"
#include "engine/report/progress.h"
#include "engine/session/session.h"

namespace ulo::engine {

struct OperationOptions {
  // Skip the pair-count check of the inputs: for files the library itself
  // just wrote. A file that is not what it claims then gives wrong results.
  bool trustInput = false;
  OutputOptions output;
};

// Each returns an empty string, or its failure line (without the "ulo: " lead).
// `report` (may be null) is told of the merge's progress. The merge refuses
// an output inside DIR (every file there is an input) and a tree that holds
// what a killed command left.
std::string MergeFiles(Session& session, const std::string& dir, const std::string& out,
                       ProgressReport* report, const OperationOptions& options = {});
std::string FilterPairs(Session& session, const std::string& in, const std::string& out,
                        int32_t threshold, const OperationOptions& options = {});
std::string WriteSupport(Session& session, const std::string& in, const std::string& out,
                         const OperationOptions& options = {});
// What the top-N is made of. The library offers every line's pair both ways,
// so a count's own pairs are handed to it without self-pairs (each would
// stand twice in its word's list) and, counted both ways, each pair once.
enum class TopNInput {
  kAsGiven,         // the file as it is, as the library's own operation takes it
  kCounted,         // a count of one direction
  kCountedBothWays  // every pair on two lines, (a, b) and (b, a)
};
std::string WriteTopN(Session& session, const std::string& in, const std::string& out, int32_t n,
                      const OperationOptions& options = {}, TopNInput input = TopNInput::kAsGiven);

// The failure line of an operation from file `in` to file `out` that
// cannot work: `in` unreadable or (unless trusted) no pair-count file,
// `out` not creatable, or both the same file; empty when both look fine.
std::string FileProblem(const std::string& in, const std::string& out, bool trustInput = false);

// The failure line of an operation from `in` to `out` that the library
// reported failed: what the system says of reading `in` or writing `out`
// (`captured`: errno as the call left it), or that neither shows a cause.
std::string OperationFailure(const std::string& in, const std::string& out, int captured);

// Why the tree `dir` cannot be merged into `out` as it is: `out` inside it,
// what a killed command left in it, or (unless `trustInput`) a file that is
// no sorted pair-count file, its files checked by up to `threads` threads.
// Empty when it can.
std::string TreeProblem(const std::string& dir, const std::string& out, bool trustInput,
                        int threads);
// Why the library's merge of `dir` into `out` (written as `target`) failed,
// from its `code` and errno as the call left it (`captured`).
std::string MergeFailure(int32_t code, int captured, const std::string& dir, const std::string& out,
                         const std::string& target);

// Why the tree `dir` cannot be merged into `out` whatever its files hold:
// `out` inside it, or what a killed command left in it. Empty when it can.
std::string TreeShapeProblem(const std::string& dir, const std::string& out);
// The first problem of a file under `dir` that is no sorted pair-count file.
std::string TreeContentProblem(const std::string& dir, int threads);
// Which of `files` carry their seal, each looked at by one of up to
// `threads` threads.
std::vector<bool> SealedFiles(const std::vector<std::string>& files, int threads);

// Whether `path` lies somewhere under the directory `dir`.
bool LiesUnder(const std::string& path, const std::string& dir);

// The last line of a merge's error log added after byte `from`, converted
// to UTF-8 and without its line end; empty when there is none.
std::string LastLogLine(const std::string& log, uint64_t from);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_OPERATIONS_H_
