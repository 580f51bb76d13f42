#include "engine/merge/partition.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "engine/count/token_counts.h"
#include "engine/files/checks.h"
#include "engine/files/pair_parts.h"
#include "engine/files/staging.h"
#include "engine/files/writeback.h"
#include "engine/merge/key_ranges.h"
#include "engine/merge/processes.h"
#include "engine/merge/slice_feed.h"
#include "engine/session/operations.h"

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

// The inputs, every input cut at every split key. A plan holds no input
// mapped: a merge of any number of files maps only the ones it merges at a
// time, well within the kernel's limit on mappings.
struct RangePlan {
  std::vector<std::string> inputs;
  std::vector<std::string> keys;
  // cuts[i][k]: where range k starts in input i; cuts[i][ranges()] is its size.
  std::vector<std::vector<size_t>> cuts;
  // Whether input i is checked as its slices are merged (empty: none is).
  std::vector<bool> checks;
  size_t ranges() const { return keys.size() + 1; }
  // Range k's slice of input i, whose bytes `text` are.
  Slice SliceOf(std::string_view text, size_t i, size_t k) const {
    return {text, cuts[i][k], cuts[i][k + 1], !checks.empty() && checks[i], inputs[i]};
  }
};

// Every file under `dir`, at any depth, as the library's merge finds them;
// false when there is one this process does not take apart.
bool ListInputs(const std::string& dir, std::vector<std::string>* files) {
  std::error_code code;
  for (auto it = fs::recursive_directory_iterator(dir, code);
       !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
    // Links and special files are left to the library's own merge.
    std::error_code kind;
    if (it->is_symlink(kind)) return false;
    if (it->is_directory(kind)) continue;
    if (!it->is_regular_file(kind)) return false;
    files->push_back(it->path().string());
  }
  std::sort(files->begin(), files->end());
  return !code;
}

// Cuts every input of `plan` at every split key, each mapped in its turn;
// false with a sentence in `*error`.
bool CutInputs(RangePlan* plan, std::string* error) {
  for (const std::string& input : plan->inputs) {
    MappedFile map;
    if (!map.Open(input, error)) return false;
    std::string_view text = map.text();
    std::vector<size_t>& cuts = plan->cuts.emplace_back(1, 0);
    for (const std::string& key : plan->keys)
      cuts.push_back(std::max(cuts.back(), CutAt(text, key)));
    cuts.push_back(text.size());
  }
  return true;
}

// False when the inputs are not worth cutting or cannot be read here; the
// library's own merge then deals with them.
bool MakePlan(const std::string& dir, int jobs, RangePlan* plan) {
  std::string error;
  return ListInputs(dir, &plan->inputs) && plan->inputs.size() >= 2 &&
         SampleSplitKeys(plan->inputs, jobs, &plan->keys, &error) && CutInputs(plan, &error);
}

fs::path RangeDir(const fs::path& work, size_t k) {
  return work / ("range-" + std::to_string(k));
}
// Each range's slices lie in a directory of their own, whose parent holds
// the library's merge_temp for that range alone.
std::string RangeSource(const fs::path& work, size_t k) {
  return (RangeDir(work, k) / "in").string();
}
std::string RangeOutput(const fs::path& work, size_t k) {
  return (RangeDir(work, k) / "merged.txt").string();
}

// Leads the failure of a range whose inputs turned out not to be sorted.
constexpr char kNotSorted[] = "not sorted: ";

// A range's inputs are merged this many at a time (the fan-in of one pass of
// the library's merge), each group from pipes fed by a thread a slice; with
// more inputs than that, the groups' outputs are merged in turn, the passes
// the library would make of them anyway.
constexpr size_t kGroupInputs = 20;

// Copies `slices`, of the inputs from `first` on, into `source`, checked
// first where they say: for a file system without named pipes.
std::string TakeSlices(const RangePlan& plan, const std::vector<Slice>& slices, size_t first,
                       const std::string& source) {
  for (size_t i = first; i < first + slices.size(); ++i) {
    const Slice& slice = slices[i - first];
    if (slice.check) {
      if (std::string problem = SliceProblem(slice); !problem.empty()) {
        return kNotPairs + ("slice " + std::to_string(i) + ": ") + problem;
      }
    }
    std::string path = (fs::path(source) / SliceName(i - first)).string();
    std::string error;
    if (!CopyBytes(plan.inputs[i], slice.begin, slice.end - slice.begin, path, 0, &error)) {
      return error;
    }
  }
  return "";
}

std::string MergeRange(Session& session, const std::string& source, const std::string& output) {
  errno = 0;
  int32_t code = session.library().mulMergeFile(source.c_str(), output.c_str());
  int captured = errno;
  if (code == 0) return "";
  std::string message = MergeFailure(code, captured, source, output, output);
  std::string logged = LastLogLine(output + "_err.log", 0);
  if (!logged.empty()) message += "; " + logged;
  return message;
}

// Appends the log the library kept for the range output `partial` to the
// output's own log, and removes it.
void MoveErrorLog(const std::string& partial, const std::string& path) {
  std::string from = partial + "_err.log";
  std::ifstream in(from, std::ios::binary);
  if (!in) return;
  std::ofstream out(path + "_err.log", std::ios::binary | std::ios::app);
  out << in.rdbuf();
  in.close();
  if (out.flush()) std::remove(from.c_str());
}

// The slices `first` .. `first + count - 1` of range k merged into `output`
// by the library, from `source`: pipes, or copies where there are none.
std::string MergeGroup(Session& session, const RangePlan& plan, size_t k, size_t first,
                       size_t count, const std::string& source, const std::string& output) {
  std::error_code code;
  fs::create_directories(source, code);
  if (code) return "cannot make " + source + ": " + code.message();
  std::vector<MappedFile> maps(count);
  std::vector<Slice> slices;
  for (size_t i = first; i < first + count; ++i) {
    MappedFile& map = maps[i - first];
    if (std::string error; !map.Open(plan.inputs[i], &error)) return error;
    if (map.text().size() != plan.cuts[i].back()) {
      return plan.inputs[i] + " changed while it was merged";
    }
    slices.push_back(plan.SliceOf(map.text(), i, k));
  }
  SliceFeed feed;
  bool fed = feed.Start(source, slices);
  std::string failure = fed ? "" : TakeSlices(plan, slices, first, source);
  if (failure.empty()) failure = MergeRange(session, source, output);
  if (fed) {
    // What a feeder found comes first: the merge saw its input end there.
    if (std::string problem = feed.Finish(); !problem.empty()) failure = problem;
  }
  return failure;
}

// Range k cut, merged and, with `verify`, checked: its output in order and
// inside its range, which holds exactly when every input's slice was sorted.
// Inputs checked whole beforehand need no second look. Every slice is
// taken, empty ones too, so that the library merges at least two files
// where there are two inputs (its merge of one file is a plain copy).
std::string MergeSlices(Session& session, const RangePlan& plan, const fs::path& work, size_t k,
                        bool verify, const std::string& replaces = {}) {
  // The output that will be renamed over `replaces` is written out as it grows.
  Writeback early(RangeOutput(work, k), replaces);
  size_t inputs = plan.inputs.size();
  size_t groups = (inputs + kGroupInputs - 1) / kGroupInputs;
  std::string failure;
  if (groups <= 1) {
    failure = MergeGroup(session, plan, k, 0, inputs, RangeSource(work, k), RangeOutput(work, k));
  } else {
    // Groups of nearly equal size: none of a single input.
    fs::path groupsDir = RangeDir(work, k) / "groups";
    std::error_code code;
    fs::create_directories(groupsDir, code);
    if (code) return "cannot make " + groupsDir.string() + ": " + code.message();
    for (size_t g = 0, first = 0; g < groups && failure.empty(); ++g) {
      size_t count = (inputs - first) / (groups - g);
      std::string source = RangeSource(work, k) + "-" + std::to_string(g);
      std::string output = (groupsDir / ("group-" + std::to_string(g))).string();
      failure = MergeGroup(session, plan, k, first, count, source, output);
      // Its log joins the range's: beside the groups, it would be merged too.
      MoveErrorLog(output, RangeOutput(work, k));
      fs::remove_all(source, code);
      first += count;
    }
    if (failure.empty()) failure = MergeRange(session, groupsDir.string(), RangeOutput(work, k));
  }
  if (!failure.empty() || !verify) return failure;
  MappedFile merged;
  if (!merged.Open(RangeOutput(work, k), &failure)) return failure;
  std::string problem = OrderProblem(merged.text(), RangeOf(plan.keys, k));
  return problem.empty() ? "" : kNotSorted + problem;
}

uint64_t FileBytes(const std::string& path) {
  std::error_code code;
  uint64_t size = fs::file_size(path, code);
  return code ? 0 : size;
}

// `files` one after another in `out`: the first renamed (with `move`; a
// range's output), the others copied to their places.
std::string JoinFiles(const std::vector<std::string>& files, bool move, const std::string& out,
                      const OutputOptions& output) {
  StagedOutput staged(out, output);
  std::string error;
  if (move && !staged.TakeFile(files[0], &error)) return error;
  std::vector<std::string> rest(files.begin() + (move ? 1 : 0), files.end());
  if (!AppendParts(rest, staged.path(), &error)) return error;
  return staged.Commit(&error) ? "" : error;
}

// `files` as the parts of the directory `out`, with the index of `keys`;
// the directory appears whole: written beside it, then put in its place.
std::string PlaceParts(const std::vector<std::string>& files, bool move,
                       const std::vector<std::string>& keys, const std::string& out,
                       const OutputOptions& output) {
  // Under a staging name of its own, locked: no other command sweeps it while
  // it is written, and what a killed merge leaves is swept, never merged.
  ScratchDirectory staged;
  std::string error;
  if (!staged.Make(out, &error)) return error;
  fs::path stage = staged.path();
  std::error_code code;
  for (size_t k = 0; k < files.size() && !code && error.empty(); ++k) {
    if (move) {
      fs::rename(files[k], stage / PartName(k), code);
    } else {
      CopyInto(files[k], (stage / PartName(k)).string(), 0, &error);
    }
  }
  if (code) return "cannot write " + stage.string() + ": " + code.message();
  if (!error.empty()) return error;
  if (!WritePartsIndex(stage.string(), files.size(), keys, &error)) return error;
  return ReplaceDirectory(stage.string(), out, &error, output) ? "" : error;
}

// Why the parts directory `out` cannot be written; empty when it can.
std::string PartsOutputProblem(const std::string& dir, const std::string& out) {
  std::error_code code;
  if (fs::exists(out, code) && !IsPartsDirectory(out)) {
    return "cannot write the parts to " + out + ": it exists and is not a parts directory";
  }
  if (LiesUnder(out, dir)) {
    return "cannot write the parts to " + out + ": it lies inside " + dir +
           ", every file of which is an input";
  }
  return "";
}

// The ranges of `plan` merged (with `cut`, from their slices; without, the
// one range from `dir` itself) and put in place as `out`.
std::string MergeAndPlace(Session& session, const std::string& dir, const std::string& out,
                          const RangeMergeOptions& options, RangePlan* plan, bool cut) {
  // The ranges' work lies in a locked staging directory: what a killed merge
  // leaves there is swept by the next command, never merged.
  StagedDirectory staging;
  if (std::string error; !staging.Open(out + ".ranges", &error)) return error;
  fs::path work = staging.path();
  std::error_code code;
  size_t ranges = plan->ranges();
  uint64_t inputBytes = 0;
  for (const std::vector<size_t>& cuts : plan->cuts)
    inputBytes += cuts.back();
  if (options.report != nullptr) {
    options.report->PollBytes(inputBytes, [&] {
      uint64_t written = 0;
      for (size_t k = 0; k < ranges; ++k)
        written += FileBytes(RangeOutput(work, k));
      return written;
    });
  }
  fs::create_directories(RangeDir(work, 0), code);
  std::string failure = ForEachInProcesses(ranges, [&](size_t k) {
    // The first range's output becomes the output file itself.
    std::string replaces = k == 0 && !options.parts ? out : "";
    return cut ? MergeSlices(session, *plan, work, k, options.operations.trustInput, replaces)
               : MergeRange(session, dir, RangeOutput(work, 0));
  });
  if (options.report != nullptr) options.report->Stop();
  for (size_t k = 0; k < ranges; ++k)
    MoveErrorLog(RangeOutput(work, k), out);
  if (failure.empty()) {
    std::vector<std::string> outputs;
    for (size_t k = 0; k < ranges; ++k)
      outputs.push_back(RangeOutput(work, k));
    const OutputOptions& output = options.operations.output;
    failure = options.parts ? PlaceParts(outputs, true, plan->keys, out, output)
                            : JoinFiles(outputs, true, out, output);
  }
  staging.Discard();
  return failure;
}

}  // namespace

namespace {

// A parts directory is one pair-count file, merged already: merging it
// gives its own bytes, its parts joined into `out` or, with --parts, copied
// as they are. Only the kernel copies them, so they are not read here: a
// damaged part stays as it is, and every reader of the result refuses it.
std::string MergeParts(const std::string& dir, const std::string& out,
                       const RangeMergeOptions& options) {
  std::string problem = options.parts ? PartsOutputProblem(dir, out) : OutputFileProblem(out);
  if (problem.empty() && !options.parts && LiesUnder(out, dir)) {
    problem = "it lies inside " + dir + ", a parts directory being read";
  }
  if (!problem.empty()) return options.parts ? problem : "cannot write " + out + ": " + problem;
  std::vector<std::string> parts, keys;
  std::string error;
  if (!PairFileParts(dir, &parts, &error, &keys)) return error;
  const OutputOptions& output = options.operations.output;
  return options.parts ? PlaceParts(parts, false, keys, out, output)
                       : JoinFiles(parts, false, out, output);
}

std::string MergeTree(Session& session, const std::string& dir, const std::string& out,
                      const RangeMergeOptions& options) {
  if (IsPartsDirectory(dir)) {
    std::string failure = MergeParts(dir, out, options);
    return failure.empty() ? "" : "merge: " + failure;
  }
  if (!options.parts && (options.jobs <= 1 || !OutputFileProblem(out).empty() ||
                         !InputDirectoryProblem(dir).empty() || LiesUnder(out, dir))) {
    return MergeFiles(session, dir, out, options.report, options.operations);
  }
  if (options.parts) {
    if (std::string problem = InputDirectoryProblem(dir); !problem.empty()) {
      return "merge: cannot read the directory " + dir + ": " + problem;
    }
    if (std::string problem = PartsOutputProblem(dir, out); !problem.empty()) {
      return "merge: " + problem;
    }
  }
  if (std::string problem = TreeShapeProblem(dir, out); !problem.empty()) {
    return "merge: " + problem;
  }
  RangePlan plan;
  bool cut = MakePlan(dir, options.jobs, &plan) && !plan.keys.empty();
  bool trust = options.operations.trustInput;
  if (!cut) {
    // Merged whole: the library's merge, its input checked beside it.
    if (!options.parts) return MergeFiles(session, dir, out, options.report, options.operations);
    if (std::string problem = trust ? "" : TreeContentProblem(dir, options.jobs);
        !problem.empty()) {
      return "merge: " + problem;
    }
  } else if (!trust) {
    // A sealed input is whole as written; the others are checked slice by
    // slice as they are merged.
    std::vector<bool> sealed = SealedFiles(plan.inputs, options.jobs);
    plan.checks.assign(sealed.size(), true);
    for (size_t i = 0; i < sealed.size(); ++i)
      plan.checks[i] = !sealed[i];
  }
  std::string failure = MergeAndPlace(session, dir, out, options, &plan, cut);
  if (failure.rfind(kNotPairs, 0) == 0) {
    // Told as a check of the whole tree tells it: its first problem, the
    // line counted from the file's start.
    std::string problem = TreeContentProblem(dir, options.jobs);
    return "merge: " + (problem.empty() ? failure : problem);
  }
  if (failure.rfind(kNotSorted, 0) == 0) {
    // Not cut after all: merged whole, as the library merges any input.
    OperationOptions trusted = options.operations;
    trusted.trustInput = true;
    if (!options.parts) return MergeFiles(session, dir, out, options.report, trusted);
    plan.keys.clear();
    failure = MergeAndPlace(session, dir, out, options, &plan, false);
  }
  return failure.empty() ? "" : "merge: " + failure;
}

}  // namespace

std::string MergeWithTokenCounts(const std::string& dir, const std::string& out,
                                 const OutputOptions& output,
                                 const std::function<std::string()>& merge) {
  std::string tokensOut = TokenCounts::PathFor(out);
  // An earlier OUT's token counts step aside while the merge runs: they come
  // back when it fails, and never stand beside pairs they were not counted
  // with.
  SetAside earlier(tokensOut);
  if (std::string failure = merge(); !failure.empty()) {
    earlier.Restore();
    return failure;
  }
  std::error_code code;
  std::string tokensIn = TokenCounts::PathFor(dir);
  if (!fs::exists(tokensIn, code)) {
    fs::remove(tokensOut, code);  // one that could not be set aside
    return {};
  }
  // Copied as they are: a ranking that takes them reads them whole.
  StagedOutput staged(tokensOut, output);
  std::string error;
  if (!staged.path().empty() && !CopyInto(tokensIn, staged.path(), 0, &error)) {
    return "merge: " + error;
  }
  return staged.Commit(&error) ? "" : "merge: " + error;
}

std::string MergeInRanges(Session& session, const std::string& dir, const std::string& named,
                          const RangeMergeOptions& options) {
  // "OUT/" names the directory OUT: its staging entries and OUT.tokens lie
  // beside it, not inside.
  std::string out = options.parts ? WithoutTrailingSlashes(named) : named;
  return MergeWithTokenCounts(dir, out, options.operations.output,
                              [&] { return MergeTree(session, dir, out, options); });
}

std::string MergeKeyRange(Session& session, const std::vector<std::string>& inputs,
                          const std::vector<std::string>& keys, size_t k, const std::string& out,
                          bool sorted) {
  if (k > keys.size()) {
    return "merge: there is no key range " + std::to_string(k) + " among " +
           std::to_string(keys.size() + 1);
  }
  for (size_t i = 1; i < keys.size(); ++i) {
    if (!(keys[i - 1] < keys[i])) return "merge: the split keys are not increasing";
  }
  RangePlan plan;
  plan.inputs = inputs;
  plan.keys = keys;
  std::string failure;
  if (!CutInputs(&plan, &failure)) return "merge: " + failure;
  // What a killed attempt leaves is swept by the next one, never merged.
  StagedDirectory staging;
  if (!staging.Open(out + ".ranges", &failure)) return "merge: " + failure;
  fs::path work = staging.path();
  failure = MergeSlices(session, plan, work, k, !sorted);
  MoveErrorLog(RangeOutput(work, k), out);
  if (failure.empty()) {
    std::error_code code;
    fs::rename(RangeOutput(work, k), out, code);
    if (code) failure = "cannot write " + out + ": " + code.message();
  }
  staging.Discard();
  return failure.empty() ? "" : "merge: " + failure;
}

}  // namespace ulo::engine
