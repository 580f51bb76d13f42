// What the C API's opaque handles hold, and its error and string
// conventions, shared by the files of engine/capi/.
#ifndef ULO_ENGINE_CAPI_HANDLES_H_
#define ULO_ENGINE_CAPI_HANDLES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/count/line_counter.h"
#include "engine/count/share_count.h"
#include "engine/files/checks.h"
#include "engine/files/pair_check.h"
#include "engine/include/ulo_engine.h"
#include "engine/session/exports.h"
#include "engine/session/session.h"
#include "engine/stats/rank.h"
#include "engine/text/filter.h"
#include "engine/words/new_words.h"

struct ulo_exports_t {
  ulo::engine::Exports exports;
};

struct ulo_count_options_t {
  ulo::engine::CountSettings settings;
};

struct ulo_rank_options_t {
  ulo::engine::RankOptions options;
};

struct ulo_words_options_t {
  ulo::engine::WordOptions options;
};

struct ulo_counter_t {
  ulo_counter_t(const ulo::engine::Exports& exports, const ulo::engine::CountSettings& settings)
      : exports(exports), settings(settings) {}

  ulo::engine::Exports exports;  // copies: the counter outlives its arguments
  ulo::engine::CountSettings settings;
  ulo::engine::TokenFilter filter;
  std::unique_ptr<ulo::engine::LineCounter> counter;
  std::string workDir;
  std::string origin;      // the text being fed in blocks
  std::string pending;     // its last line, not yet ended
  uint64_t line = 0;       // lines of `origin` counted so far
  uint64_t tokenLine = 0;  // lines of tokens counted so far
  std::string failure;     // the first failure; every later call repeats it
  bool closed = false;
  bool holdsRun = false;  // the library's one counting run is this counter's
};

struct ulo_staged_t {
  explicit ulo_staged_t(std::string path) : output(std::move(path)) {}
  ulo::engine::StagedOutput output;
};

struct ulo_work_dir_t {
  ulo::engine::StagedDirectory staged;
  bool committed = false;
  std::string held;  // its key among the work directories this process holds
};

struct ulo_command_t {
  explicit ulo_command_t(std::string_view name) : buffer(name) {}
  ulo::engine::CommandBuffer buffer;
};

namespace ulo::engine::capi {

// A malloc'ed copy of `text` (NULL only when memory runs out).
char* Copy(std::string_view text);
// Stores `message` in *errptr as the header says; false, so that a caller
// can `return Fail(...)`. An empty message is no failure: true.
bool Fail(char** errptr, const std::string& message);
// Why a run cannot stage `work_dir` now: this thread holds its lock through
// a ulo_work_dir_t, and waiting for it would never end. Empty when it can.
std::string HeldWorkDirProblem(const std::string& workDir);

}  // namespace ulo::engine::capi

#endif  // ULO_ENGINE_CAPI_HANDLES_H_
