// The library's file operations as the commands run them: the inputs are
// checked first, so that a failure line says its cause, then the library is
// called and its answer put in words.
#ifndef ULO_HOST_OPERATIONS_H_
#define ULO_HOST_OPERATIONS_H_

#include <cstdint>
#include <string>

#include "commands.h"

namespace ulo::host {

// Each returns 0, or kExitFailure after printing one failure line.
int MergeFiles(Session& session, const std::string& dir, const std::string& out, bool progress);
int FilterPairs(Session& session, const std::string& in, const std::string& out, int32_t threshold);
int WriteSupport(Session& session, const std::string& in, const std::string& out);
int WriteTopN(Session& session, const std::string& in, const std::string& out, int32_t n);

// The last line of a merge's error log added after byte `from`, converted
// to UTF-8 and without its line end; empty when there is none.
std::string LastLogLine(const std::string& log, uint64_t from);

}  // namespace ulo::host

#endif  // ULO_HOST_OPERATIONS_H_
