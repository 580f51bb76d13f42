// The C API of engine/include/ulo_engine.h over the engine's C++: no C++
// type or exception crosses it. The counter's calls are in counter.cc.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "engine/capi/handles.h"
#include "engine/count/jobs.h"
#include "engine/count/line_counter.h"
#include "engine/count/options.h"
#include "engine/export/export.h"
#include "engine/files/checks.h"
#include "engine/files/pair_check.h"
#include "engine/files/pair_parts.h"
#include "engine/merge/partition.h"
#include "engine/query/word_query.h"
#include "engine/session/operations.h"
#include "engine/stats/measures.h"
#include "engine/text/encoding.h"

using namespace ulo::engine;
using ulo::engine::capi::Copy;
using ulo::engine::capi::Fail;

namespace ulo::engine::capi {

char* Copy(std::string_view text) {
  auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

namespace {

// The work directories whose staging lock a ulo_work_dir_t of this process
// holds, each as its parent's device and inode and its own name ("w", "w/"
// and "./w" are one directory), with the thread that opened it.
std::mutex heldLock;
std::map<std::string, std::thread::id> heldWorkDirs;

std::string WorkDirKey(const std::string& workDir) {
  namespace fs = std::filesystem;
  std::error_code code;
  fs::path normal = fs::absolute(workDir, code).lexically_normal();
  fs::path path = WithoutTrailingSlashes(code ? workDir : normal.string());
  struct stat parent;
  if (stat(path.parent_path().c_str(), &parent) != 0) return {};
  return std::to_string(parent.st_dev) + ":" + std::to_string(parent.st_ino) + "/" +
         path.filename().string();
}

}  // namespace

// Records the work directory a ulo_work_dir_t now holds; its key.
std::string HoldWorkDir(const std::string& workDir) {
  std::string key = WorkDirKey(workDir);
  std::lock_guard<std::mutex> hold(heldLock);
  heldWorkDirs[key] = std::this_thread::get_id();
  return key;
}

void ReleaseWorkDir(const std::string& key) {
  std::lock_guard<std::mutex> hold(heldLock);
  heldWorkDirs.erase(key);
}

std::string HeldWorkDirProblem(const std::string& workDir) {
  std::string key = WorkDirKey(workDir);
  std::lock_guard<std::mutex> hold(heldLock);
  // Another thread's lock is waited for, as another process's is.
  auto held = heldWorkDirs.find(key);
  if (key.empty() || held == heldWorkDirs.end() || held->second != std::this_thread::get_id())
    return {};
  return "this thread holds the work directory " + workDir +
         " open already (ulo_work_dir_open): a run into it would wait for it forever, so "
         "destroy that object first";
}

bool Fail(char** errptr, const std::string& message) {
  if (message.empty()) return true;
  if (errptr != nullptr) {
    std::free(*errptr);
    *errptr = Copy(message);
  }
  return false;
}

}  // namespace ulo::engine::capi

namespace {

bool IsNull(const void* pointer, const char* what, char** errptr) {
  if (pointer != nullptr) return false;
  Fail(errptr, std::string("no ") + what + " was given");
  return true;
}

// Sets an option by name through `setter`, the header's checks first.
template <typename Setter, typename Options>
void Set(Setter setter, Options* options, const char* name, const char* value, char** errptr) {
  if (IsNull(name, "option name", errptr) || IsNull(value, "option value", errptr)) return;
  std::string error;
  if (!setter(options, name, value, &error)) Fail(errptr, error);
}

// Runs `operation` with an extension object of its own.
template <typename Operation>
void WithSession(const ulo_exports_t* exports, char** errptr, Operation operation) {
  if (IsNull(exports, "exports object", errptr)) return;
  Session session(exports->exports);
  std::string error;
  if (!session.Open(&error)) {
    Fail(errptr, error);
    return;
  }
  Fail(errptr, operation(session));
}

}  // namespace

extern "C" {

void ulo_free(void* pointer) {
  std::free(pointer);
}

const char* ulo_engine_version(void) {
  return ULO_ENGINE_VERSION;
}

// ---- The library's exports ----

ulo_exports_t* ulo_exports_create(void) {
  return new (std::nothrow) ulo_exports_t;
}

void ulo_exports_destroy(ulo_exports_t* exports) {
  delete exports;
}

void ulo_exports_set(ulo_exports_t* exports, const char* name, void* address, char** errptr) {
  if (IsNull(exports, "exports object", errptr) || IsNull(name, "export name", errptr)) return;
  if (!exports->exports.Set(name, address)) {
    Fail(errptr, "the library has no export called \"" + std::string(name) + "\"");
  }
}

char* ulo_exports_missing(const ulo_exports_t* exports) {
  if (exports == nullptr) return Copy("ULO_Filtrate");
  std::string missing = exports->exports.Missing();
  return missing.empty() ? nullptr : Copy(missing);
}

// ---- Options ----

ulo_count_options_t* ulo_count_options_create(void) {
  return new (std::nothrow) ulo_count_options_t;
}

void ulo_count_options_destroy(ulo_count_options_t* options) {
  delete options;
}

void ulo_count_options_set(ulo_count_options_t* options, const char* name, const char* value,
                           char** errptr) {
  if (IsNull(options, "options object", errptr)) return;
  Set(SetCountOption, &options->settings, name, value, errptr);
}

void ulo_count_options_add_stopwords(ulo_count_options_t* options, const char* text, size_t length,
                                     char** errptr) {
  if (IsNull(options, "options object", errptr)) return;
  if (length > 0 && IsNull(text, "text", errptr)) return;
  std::string& words = options->settings.filters.stopwordText;
  words.append(text, length);
  if (!words.empty() && words.back() != '\n') words += '\n';
}

char* ulo_count_options_describe(void) {
  return Copy(DescribeOptions(CountOptionTable()));
}

ulo_rank_options_t* ulo_rank_options_create(void) {
  return new (std::nothrow) ulo_rank_options_t;
}

void ulo_rank_options_destroy(ulo_rank_options_t* options) {
  delete options;
}

void ulo_rank_options_set(ulo_rank_options_t* options, const char* name, const char* value,
                          char** errptr) {
  if (IsNull(options, "options object", errptr)) return;
  Set(SetRankOption, &options->options, name, value, errptr);
}

char* ulo_rank_options_describe(void) {
  return Copy(DescribeOptions(RankOptionTable()));
}

// ---- The library's file operations ----

void ulo_merge(const ulo_exports_t* exports, const char* dir, const char* out, char** errptr) {
  if (IsNull(dir, "directory", errptr) || IsNull(out, "output", errptr)) return;
  RangeMergeOptions options;  // one process
  WithSession(exports, errptr,
              [&](Session& session) { return MergeInRanges(session, dir, out, options); });
}

void ulo_merge_ranges(const ulo_exports_t* exports, const char* dir, const char* out, int32_t jobs,
                      int32_t parts, char** errptr) {
  if (IsNull(dir, "directory", errptr) || IsNull(out, "output", errptr)) return;
  // Every range is a process at once: more than a count's workers is a typo.
  if (jobs > kMaxJobs) {
    Fail(errptr, "the merge takes a whole number of jobs from 0 to " + std::to_string(kMaxJobs) +
                     ", not " + std::to_string(jobs));
    return;
  }
  RangeMergeOptions options;
  options.jobs = JobsOrDefault(jobs);
  options.parts = parts != 0;
  WithSession(exports, errptr,
              [&](Session& session) { return MergeInRanges(session, dir, out, options); });
}

void ulo_filter(const ulo_exports_t* exports, const char* in, const char* out, int32_t threshold,
                char** errptr) {
  if (IsNull(in, "input", errptr) || IsNull(out, "output", errptr)) return;
  WithSession(exports, errptr,
              [&](Session& session) { return FilterPairs(session, in, out, threshold); });
}

void ulo_support(const ulo_exports_t* exports, const char* in, const char* out, char** errptr) {
  if (IsNull(in, "input", errptr) || IsNull(out, "output", errptr)) return;
  WithSession(exports, errptr, [&](Session& session) { return WriteSupport(session, in, out); });
}

void ulo_topn(const ulo_exports_t* exports, const char* in, const char* out, int32_t n,
              char** errptr) {
  if (IsNull(in, "input", errptr) || IsNull(out, "output", errptr)) return;
  WithSession(exports, errptr, [&](Session& session) { return WriteTopN(session, in, out, n); });
}

// ---- Ranking ----

void ulo_rank(const char* pairs, const char* out, const ulo_rank_options_t* options,
              char** errptr) {
  if (IsNull(pairs, "pair-count file", errptr) || IsNull(out, "output", errptr)) return;
  RankOptions defaults;
  Fail(errptr, RankFile(pairs, out, options != nullptr ? options->options : defaults));
}

char* ulo_neighbours(const char* pairs, const char* word, size_t length,
                     const ulo_rank_options_t* options, char** errptr) {
  if (IsNull(pairs, "pair-count file", errptr)) return nullptr;
  if (length > 0 && IsNull(word, "word", errptr)) return nullptr;
  RankOptions defaults;
  std::string text, error;
  if (!WordRankingText(pairs, std::string(word == nullptr ? "" : word, length),
                       options != nullptr ? options->options : defaults, &text, &error)) {
    Fail(errptr, error);
    return nullptr;
  }
  return Copy(text);
}

void ulo_export(const char* in, const char* out, const char* format, int32_t top,
                const ulo_rank_options_t* options, char** note, char** errptr) {
  if (note != nullptr) *note = nullptr;
  if (IsNull(in, "input", errptr) || IsNull(out, "output", errptr)) return;
  if (top < 0) {
    Fail(errptr, "top must be 0 (every pair) or more");
    return;
  }
  ExportOptions settings;
  if (options != nullptr) settings.rank = options->options;
  settings.top = top;
  settings.format = format != nullptr ? format : "";
  uint64_t lossy = 0;
  std::string failure = ExportFile(in, out, settings, {}, &lossy);
  if (!failure.empty()) {
    Fail(errptr, failure);
    return;
  }
  if (lossy > 0 && note != nullptr) *note = Copy(LossyWordsNote(lossy, settings.rank.to));
}

char* ulo_measure_names(void) {
  std::string text;
  for (const std::string& name : MeasureNames())
    text += name + "\n";
  return Copy(text);
}

double ulo_score(const char* measure, double a, double b, double c, double n, char** errptr) {
  if (IsNull(measure, "measure", errptr)) return 0;
  std::optional<Measure> parsed = ParseMeasure(measure);
  if (!parsed) {
    Fail(errptr, "no measure is called \"" + std::string(measure) + "\"");
    return 0;
  }
  return Score(*parsed, PairCounts{a, b, c, n});
}

// ---- Encodings ----

char* ulo_convert(const char* from, const char* to, const char* data, size_t length,
                  size_t* out_length, uint64_t* invalid, uint64_t* unrepresentable,
                  uint64_t* invalid_at, uint64_t* unrepresentable_at, char** errptr) {
  if (length > 0 && IsNull(data, "text", errptr)) return nullptr;
  auto name = [](const char* encoding) {
    return encoding != nullptr && *encoding != '\0' ? std::string(encoding)
                                                    : std::string(kLibraryEncoding);
  };
  Converter converter;
  std::string error;
  if (!converter.Open(name(from), name(to), &error)) {
    Fail(errptr, error);
    return nullptr;
  }
  std::string converted;
  std::string_view rest(data == nullptr ? "" : data, data == nullptr ? 0 : length);
  // A line at a time, each from the encoding's first state, as a corpus is
  // read: a stateful encoding's shift does not run on into the next line.
  // Only where LF is the byte LF on both sides; elsewhere the text is one.
  // Asked only of text that holds a line end: a word alone needs no answer.
  const bool lines =
      rest.find('\n') != std::string_view::npos && KeepsText(name(from), name(to), "\n");
  uint64_t firstInvalid = UINT64_MAX, firstLacked = UINT64_MAX;
  for (size_t at = 0, utf8At = 0;;) {
    size_t end = lines ? rest.find('\n') : std::string_view::npos;
    converter.Convert(rest.substr(0, end), &converted);
    if (firstInvalid == UINT64_MAX && converter.firstInvalid() != std::string_view::npos) {
      firstInvalid = at + converter.firstInvalid();
    }
    if (firstLacked == UINT64_MAX && converter.firstUnrepresentable() != std::string_view::npos) {
      firstLacked = utf8At + converter.firstUnrepresentable();
    }
    if (end == std::string_view::npos) break;
    utf8At += converter.utf8Size() + 1;
    converted += '\n';
    at += end + 1;
    rest.remove_prefix(end + 1);
  }
  if (out_length != nullptr) *out_length = converted.size();
  if (invalid != nullptr) *invalid = converter.invalid();
  if (unrepresentable != nullptr) *unrepresentable = converter.unrepresentable();
  if (invalid_at != nullptr) *invalid_at = firstInvalid;
  if (unrepresentable_at != nullptr) *unrepresentable_at = firstLacked;
  char* copy = Copy(converted);
  if (copy == nullptr) Fail(errptr, "out of memory converting text");
  return copy;
}

char* ulo_encoding_problem(const char* name, const char* use) {
  std::string encoding =
      name != nullptr && *name != '\0' ? std::string(name) : std::string(kLibraryEncoding);
  std::string_view wanted = use != nullptr ? use : "";
  std::string problem;
  if (wanted == "words") {
    problem = WordsEncodingProblem(encoding);
  } else if (wanted == "shown") {
    problem = OutputEncodingProblem(encoding);
  } else if (wanted == "corpus") {
    problem = SourceEncodingProblem(encoding);
  } else {
    problem =
        "no use of an encoding is called \"" + std::string(wanted) + "\" (words, shown or corpus)";
  }
  return problem.empty() ? nullptr : Copy(problem);
}

// ---- Checks and staged outputs ----

char* ulo_input_problem(const char* path, const char* kind) {
  if (path == nullptr || kind == nullptr) return Copy("no path or kind was given");
  std::string_view wanted = kind;
  if (wanted != "corpus" && wanted != "pairs") {
    return Copy("no input kind is called \"" + std::string(wanted) + "\" (corpus or pairs)");
  }
  std::string problem =
      InputFileProblem(path, wanted == "corpus" ? InputKind::kCorpus : InputKind::kPairCount);
  return problem.empty() ? nullptr : Copy(problem);
}

char* ulo_same_file_problem(const char* in, const char* out) {
  if (in == nullptr || out == nullptr) return nullptr;
  std::string problem = SameFileProblem(in, out);
  return problem.empty() ? nullptr : Copy(problem);
}

uint64_t ulo_line_number_at(const char* path, uint64_t offset) {
  return path == nullptr ? 1 : ulo::engine::LineNumberAt(path, offset);
}

char* ulo_check_pairs(const char* path, const char* needs, char** errptr) {
  PairNeeds wanted;
  if (IsNull(path, "path", errptr)) return nullptr;
  if (!ParsePairNeeds(needs == nullptr ? "" : needs, &wanted)) {
    Fail(errptr,
         "no need is called \"" + std::string(needs) + "\" (shape, order, unique or order,unique)");
    return nullptr;
  }
  std::string problem = PairFileOrPartsProblem(path, wanted);
  return problem.empty() ? nullptr : Copy(problem);
}

ulo_staged_t* ulo_staged_open(const char* final_path, char** errptr) {
  if (IsNull(final_path, "path", errptr)) return nullptr;
  if (std::string problem = OutputFileProblem(final_path); !problem.empty()) {
    Fail(errptr, "cannot write " + std::string(final_path) + ": " + problem);
    return nullptr;
  }
  auto* staged = new (std::nothrow) ulo_staged_t(final_path);
  std::string error;
  if (staged != nullptr && staged->output.path().empty() && !staged->output.Commit(&error)) {
    delete staged;  // no staging file could be made: Commit says why
    Fail(errptr, error);
    return nullptr;
  }
  return staged;
}

const char* ulo_staged_path(const ulo_staged_t* staged) {
  return staged == nullptr ? nullptr : staged->output.path().c_str();
}

void ulo_staged_commit(ulo_staged_t* staged, char** errptr) {
  if (IsNull(staged, "staged output", errptr)) return;
  std::string error;
  if (!staged->output.Commit(&error)) Fail(errptr, error);
}

void ulo_staged_destroy(ulo_staged_t* staged) {
  delete staged;
}

ulo_work_dir_t* ulo_work_dir_open(const char* work_dir, char** errptr) {
  if (IsNull(work_dir, "work directory", errptr)) return nullptr;
  if (!Fail(errptr, capi::HeldWorkDirProblem(work_dir))) return nullptr;
  auto dir = std::make_unique<ulo_work_dir_t>();
  std::string error;
  if (!dir->staged.Open(work_dir, &error)) {
    Fail(errptr, error);
    return nullptr;
  }
  dir->held = capi::HoldWorkDir(dir->staged.target());
  return dir.release();
}

const char* ulo_work_dir_path(const ulo_work_dir_t* dir) {
  return dir == nullptr ? nullptr : dir->staged.path().c_str();
}

void ulo_work_dir_commit(ulo_work_dir_t* dir, char** errptr) {
  if (IsNull(dir, "work directory", errptr)) return;
  std::string error;
  if (dir->committed || !dir->staged.Commit(&error)) {
    Fail(errptr, dir->committed ? "the work directory was put in place already" : error);
    return;
  }
  dir->committed = true;
}

void ulo_work_dir_destroy(ulo_work_dir_t* dir) {
  if (dir == nullptr) return;
  if (!dir->committed) dir->staged.Discard();
  capi::ReleaseWorkDir(dir->held);
  delete dir;
}

// ---- The library's answers in words ----

char* ulo_describe_status(int32_t status) {
  return Copy(DescribeStatus(status));
}

char* ulo_describe_merge_code(int32_t code) {
  return Copy(DescribeMergeCode(code));
}

ulo_command_t* ulo_command_create(const char* name) {
  return new (std::nothrow) ulo_command_t(name == nullptr ? "" : name);
}

void ulo_command_destroy(ulo_command_t* command) {
  delete command;
}

void ulo_command_add_string(ulo_command_t* command, const char* text, size_t length) {
  if (command != nullptr) command->buffer.String(std::string_view(text, text ? length : 0));
}

void ulo_command_add_int32(ulo_command_t* command, int32_t value) {
  if (command != nullptr) command->buffer.Int32(value);
}

void ulo_command_add_flag(ulo_command_t* command, unsigned char value) {
  if (command != nullptr) command->buffer.Flag(value != 0);
}

const char* ulo_command_bytes(const ulo_command_t* command, size_t* length) {
  if (command == nullptr) {
    if (length != nullptr) *length = 0;
    return nullptr;
  }
  const std::string& bytes = command->buffer.bytes();
  if (length != nullptr) *length = bytes.size();
  return bytes.data();
}

}  // extern "C"
