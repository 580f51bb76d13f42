// The library's file operations as the commands run them: the inputs are
// checked first, so that a failure line says its cause, then the library is
// called and its answer put in words.
#ifndef ULO_ENGINE_OPERATIONS_H_
#define ULO_ENGINE_OPERATIONS_H_

#include <cstdint>
#include <string>

#include "engine/report/progress.h"
#include "engine/session/session.h"

namespace ulo::engine {

// Each returns an empty string, or its failure line (without the "ulo: " lead).
// `report` (may be null) is told of the merge's progress.
std::string MergeFiles(Session& session, const std::string& dir, const std::string& out,
                       ProgressReport* report);
std::string FilterPairs(Session& session, const std::string& in, const std::string& out,
                        int32_t threshold);
std::string WriteSupport(Session& session, const std::string& in, const std::string& out);
std::string WriteTopN(Session& session, const std::string& in, const std::string& out, int32_t n);

// The failure line of an operation from file `in` to file `out` that
// cannot work: `in` unreadable, `out` not creatable, or both the same
// file; empty when both look fine.
std::string FileProblem(const std::string& in, const std::string& out);

// Whether `path` lies somewhere under the directory `dir`.
bool LiesUnder(const std::string& path, const std::string& dir);

// The last line of a merge's error log added after byte `from`, converted
// to UTF-8 and without its line end; empty when there is none.
std::string LastLogLine(const std::string& log, uint64_t from);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_OPERATIONS_H_
