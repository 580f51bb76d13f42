// The counter's calls of the C API: blocks of raw text, lines of tokens and
// file ranges, all counted line by line through one LineCounter.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "engine/capi/handles.h"
#include "engine/count/jobs.h"
#include "engine/count/shares.h"
#include "engine/count/token_counts.h"
#include "engine/report/progress.h"

using namespace ulo::engine;
using ulo::engine::capi::Copy;
using ulo::engine::capi::Fail;

namespace {

// The library keeps one counting run per process: a counter opened while
// another is open on the same library would end that one's run and take the
// rest of its pairs, so it is refused. A library is known by its Begin.
using RunKey = decltype(Exports::begin);
std::mutex runsLock;
std::set<RunKey> openRuns;

bool ClaimRun(RunKey key) {
  std::lock_guard<std::mutex> hold(runsLock);
  return openRuns.insert(key).second;
}

// Once the counter's run has ended (or never began).
void ReleaseRun(ulo_counter_t* counter) {
  if (!counter->holdsRun) return;
  std::lock_guard<std::mutex> hold(runsLock);
  openRuns.erase(counter->exports.begin);
  counter->holdsRun = false;
}

// Deleting the counter ends its run, if still open; then another may begin.
void Delete(ulo_counter_t* counter) {
  counter->counter.reset();
  ReleaseRun(counter);
  delete counter;
}

// A counter that failed stays failed: its run may lack pairs, so nothing
// more is counted into it.
bool Usable(ulo_counter_t* counter, char** errptr) {
  if (counter == nullptr) return Fail(errptr, "no counter was given");
  if (!counter->failure.empty()) return Fail(errptr, counter->failure);
  if (counter->closed) return Fail(errptr, "the counter is closed");
  return true;
}

void Stop(ulo_counter_t* counter, const std::string& failure, char** errptr) {
  counter->failure = failure;
  Fail(errptr, failure);
}

// Stops the counter at a refused line of the text being fed.
bool Refuse(ulo_counter_t* counter, const std::string& problem, char** errptr) {
  Stop(counter,
       "cannot count the corpus " + counter->origin + ": line " + std::to_string(counter->line) +
           ": " + problem,
       errptr);
  return false;
}

// Counts one line of the text being fed; false when it stops the counter.
bool CountTextLine(ulo_counter_t* counter, std::string_view line, char** errptr) {
  ++counter->line;
  std::string problem;
  if (counter->counter->CountLine(line, &problem)) return true;
  if (!problem.empty()) return Refuse(counter, problem, errptr);
  Stop(counter, counter->counter->failure(), errptr);
  return false;
}

// The bytes of `path` from `begin` to `end` (0: to the end of the file).
bool MakeSegment(const char* path, uint64_t begin, uint64_t end, Segment* segment, char** errptr) {
  segment->begin = begin;
  segment->end = end;
  if (end == 0) {
    // To the end of the file: read as a stream when it cannot be measured.
    std::error_code code;
    uint64_t size = std::filesystem::file_size(path, code);
    segment->whole = code.value() != 0;
    segment->end = segment->whole ? 0 : size;
    if (segment->whole && begin != 0) {
      return Fail(errptr,
                  "cannot start within " + std::string(path) + ": it is not a regular file");
    }
  }
  if (segment->end < segment->begin && !segment->whole) {
    return Fail(errptr, "the range of " + std::string(path) + " ends before it begins");
  }
  return true;
}

bool EndText(ulo_counter_t* counter, char** errptr) {
  bool counted = true;
  if (!counter->pending.empty()) {
    std::string last;
    last.swap(counter->pending);
    counted = CountTextLine(counter, last, errptr);
  }
  counter->origin.clear();
  counter->line = 0;
  return counted;
}

// Tells a C progress function of the counting.
class CallbackReport : public ProgressReport {
 public:
  CallbackReport(ulo_progress_fn function, void* context) : function(function), context(context) {}
  bool Counting(uint64_t lines, uint64_t pairs) override {
    return function == nullptr || function(context, lines, pairs) == 0;
  }
  void PollBytes(uint64_t, std::function<uint64_t()>) override {}
  void Stop() override {}

 private:
  ulo_progress_fn function;
  void* context;
};

std::vector<std::string> Paths(const char* const* paths, size_t count) {
  std::vector<std::string> list;
  for (size_t i = 0; i < count; ++i)
    list.emplace_back(paths[i] == nullptr ? "" : paths[i]);
  return list;
}

}  // namespace

extern "C" {

ulo_counter_t* ulo_counter_open(const ulo_exports_t* exports, const ulo_count_options_t* options,
                                const char* work_dir, char** errptr) {
  if (exports == nullptr || options == nullptr || work_dir == nullptr) {
    Fail(errptr, "the counter needs the exports, the options and a work directory");
    return nullptr;
  }
  if (std::string problem = InputDirectoryProblem(work_dir); !problem.empty()) {
    Fail(errptr, "cannot count into " + std::string(work_dir) + ": " + problem);
    return nullptr;
  }
  auto* counter = new (std::nothrow) ulo_counter_t(exports->exports, options->settings);
  if (counter == nullptr) return nullptr;
  if (!ClaimRun(counter->exports.begin)) {
    delete counter;
    Fail(errptr,
         "another counter of this process is open: the library keeps one counting run per "
         "process, so close or destroy that counter first");
    return nullptr;
  }
  counter->holdsRun = true;
  counter->workDir = work_dir;
  std::string error;
  if (!counter->filter.Open(counter->settings.filters, counter->settings.from, &error)) {
    Delete(counter);
    Fail(errptr, error);
    return nullptr;
  }
  counter->counter =
      std::make_unique<LineCounter>(counter->exports, counter->settings, counter->filter);
  if (!counter->counter->Begin(counter->workDir, &error)) {
    Delete(counter);
    Fail(errptr, error);
    return nullptr;
  }
  return counter;
}

void ulo_counter_add_block(ulo_counter_t* counter, const char* origin, const char* data,
                           size_t length, char** errptr) {
  if (!Usable(counter, errptr)) return;
  std::string name = origin == nullptr || *origin == '\0' ? "<text>" : origin;
  if (name != counter->origin) {
    // Another text begins: the last one ends here.
    if (!counter->origin.empty() && !EndText(counter, errptr)) return;
    counter->origin = name;
    counter->counter->SetOrigin(name);
  }
  std::string_view rest(data, data == nullptr ? 0 : length);
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
      // Refused before it is kept: a line must not grow without bound (the
      // CR of a CR LF may come before its LF does).
      if (counter->pending.size() + rest.size() > kMaxCorpusLine + 1) {
        counter->pending.clear();
        ++counter->line;
        Refuse(counter, LongLineProblem(), errptr);
        return;
      }
      counter->pending.append(rest);
      return;
    }
    std::string_view line = rest.substr(0, end + 1);
    rest.remove_prefix(end + 1);
    bool counted;
    if (counter->pending.empty()) {
      counted = CountTextLine(counter, line, errptr);
    } else {
      counter->pending.append(line);
      std::string whole;
      whole.swap(counter->pending);
      counted = CountTextLine(counter, whole, errptr);
    }
    if (!counted) return;
  }
}

void ulo_counter_end_text(ulo_counter_t* counter, char** errptr) {
  if (!Usable(counter, errptr)) return;
  EndText(counter, errptr);
}

void ulo_counter_add_token_lines(ulo_counter_t* counter, const char* data, size_t length,
                                 char** errptr) {
  if (!Usable(counter, errptr)) return;
  counter->counter->SetOrigin("the lines of tokens");
  std::string_view rest(data, data == nullptr ? 0 : length);
  std::string problem;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    ++counter->tokenLine;
    if (counter->counter->CountTokenLine(line, &problem)) continue;
    if (problem.empty()) {
      Stop(counter, counter->counter->failure(), errptr);
    } else {
      Stop(counter,
           "cannot count the lines of tokens: line " + std::to_string(counter->tokenLine) + ": " +
               problem,
           errptr);
    }
    return;
  }
}

void ulo_counter_add_file(ulo_counter_t* counter, const char* path, uint64_t begin, uint64_t end,
                          char** errptr) {
  if (!Usable(counter, errptr)) return;
  if (path == nullptr) {
    Fail(errptr, "no path was given");
    return;
  }
  if (std::string problem =
          InputFileProblem(path, InputKind::kCorpus, counter->settings.from.empty());
      !problem.empty()) {
    Fail(errptr, "cannot read the corpus " + std::string(path) + ": " + problem);
    return;
  }
  Segment segment;
  if (!MakeSegment(path, begin, end, &segment, errptr)) return;
  std::string failure = CountSegment(*counter->counter, path, segment, nullptr);
  if (!failure.empty()) Stop(counter, failure, errptr);
}

void ulo_counter_close(ulo_counter_t* counter, char** errptr) {
  if (!Usable(counter, errptr)) return;
  if (!counter->origin.empty() && !EndText(counter, errptr)) return;
  std::string error;
  counter->closed = true;
  bool ended = counter->counter->End(&error);
  ReleaseRun(counter);
  if (!ended) Stop(counter, error, errptr);
}

char* ulo_counter_summary(const ulo_counter_t* counter) {
  if (counter == nullptr) return nullptr;
  CountSummary summary;
  summary.tally = counter->counter->tally();
  summary.parts = 1;
  return Copy(SummaryFigures(summary));
}

void ulo_counter_destroy(ulo_counter_t* counter) {
  if (counter == nullptr) return;
  if (!counter->closed && counter->failure.empty()) {
    char* ignored = nullptr;
    ulo_counter_close(counter, &ignored);
    ulo_free(ignored);
  }
  Delete(counter);
}

char* ulo_count_files(const ulo_exports_t* exports, const ulo_count_options_t* options,
                      const char* const* paths, size_t path_count, const char* work_dir,
                      ulo_progress_fn progress, void* context, char** errptr) {
  if (exports == nullptr || options == nullptr || work_dir == nullptr ||
      (paths == nullptr && path_count > 0)) {
    Fail(errptr, "the count needs the exports, the options, the files and a work directory");
    return nullptr;
  }
  if (!Fail(errptr, capi::HeldWorkDirProblem(work_dir))) return nullptr;
  CountSettings settings = options->settings;
  settings.corpora = Paths(paths, path_count);
  CountSummary summary;
  CallbackReport report(progress, context);
  std::string failure =
      CountIntoDirectory("count", exports->exports, settings, work_dir, &summary, &report);
  if (!failure.empty()) {
    Fail(errptr, failure);
    return nullptr;
  }
  return Copy(SummaryFigures(summary));
}

void ulo_gather_token_counts(const char* dir, char** errptr) {
  std::string error;
  if (dir == nullptr) {
    Fail(errptr, "gathering token counts needs a directory");
  } else if (!GatherTokenCounts(dir, &error)) {
    Fail(errptr, error);
  }
}

char* ulo_share_files(const char* const* paths, size_t path_count, int parts, char** errptr) {
  if ((paths == nullptr && path_count > 0) || parts < 1) {
    Fail(errptr, "sharing needs the files and at least one part");
    return nullptr;
  }
  std::vector<std::string> corpora = Paths(paths, path_count);
  std::vector<Share> shares;
  std::string error;
  if (!ShareCorpora(corpora, parts, &shares, &error)) {
    Fail(errptr, error);
    return nullptr;
  }
  std::string text;
  for (size_t k = 0; k < shares.size(); ++k) {
    for (const Segment& segment : shares[k]) {
      text += std::to_string(k) + "\t" + corpora[segment.corpus] + "\t" +
              std::to_string(segment.begin) + "\t" + std::to_string(segment.end) + "\n";
    }
  }
  return Copy(text);
}

}  // extern "C"

struct ulo_lines_t {
  std::string path;
  SegmentReader reader;
  std::string block;
  bool ended = false;
};

ulo_lines_t* ulo_lines_open(const char* path, uint64_t begin, uint64_t end, char** errptr) {
  if (path == nullptr) {
    Fail(errptr, "no path was given");
    return nullptr;
  }
  Segment segment;
  if (!MakeSegment(path, begin, end, &segment, errptr)) return nullptr;
  auto* lines = new (std::nothrow) ulo_lines_t;
  if (lines == nullptr) {
    Fail(errptr, "out of memory");
    return nullptr;
  }
  lines->path = path;
  if (!lines->reader.Open(path, segment)) {
    Fail(errptr, "cannot open the corpus " + lines->path + ": " + std::strerror(errno));
    delete lines;
    return nullptr;
  }
  return lines;
}

const char* ulo_lines_read(ulo_lines_t* lines, size_t size, size_t* length, char** errptr) {
  if (lines == nullptr || length == nullptr) {
    Fail(errptr, "reading lines needs the lines and a place for their length");
    return nullptr;
  }
  *length = 0;
  lines->block.clear();
  std::string_view line;
  // At least one line: a size of 0 reads them one at a time.
  while (!lines->ended && (lines->block.empty() || lines->block.size() < size)) {
    if (lines->reader.Next(&line)) {
      lines->block += line;
      continue;
    }
    lines->ended = true;
    if (std::string problem = lines->reader.Problem(lines->path); !problem.empty()) {
      Fail(errptr, problem);
      return nullptr;
    }
  }
  *length = lines->block.size();
  return lines->block.data();
}

void ulo_lines_close(ulo_lines_t* lines) {
  delete lines;
}

char* ulo_lines_problem(const char* data, size_t length, uint64_t* line) {
  std::string_view rest(data == nullptr ? "" : data, data == nullptr ? 0 : length);
  for (uint64_t index = 0; !rest.empty(); ++index) {
    size_t end = rest.find('\n');
    std::string_view text = rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1);
    std::string problem = CorpusLineProblem(text, false);
    if (!problem.empty()) {
      if (line != nullptr) *line = index;
      return Copy(problem);
    }
    rest.remove_prefix(text.size());
  }
  return nullptr;
}
