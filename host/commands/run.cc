// ulo run: the whole pipeline, from corpora to statistics.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "engine/count/jobs.h"
#include "engine/count/token_counts.h"
#include "engine/merge/partition.h"
#include "engine/session/operations.h"
#include "host/commands/commands.h"
#include "host/report/progress.h"

namespace ulo::host {
namespace {

namespace fs = std::filesystem;

struct Stage {
  std::string name;
  double seconds;
};

uint64_t FileBytes(const std::string& path) {
  std::error_code code;
  uint64_t size = fs::file_size(path, code);
  return code ? 0 : size;
}

uint64_t LineCount(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint64_t lines = 0;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    lines += static_cast<uint64_t>(std::count(buffer, buffer + in.gcount(), '\n'));
  }
  return lines;
}

}  // namespace

int RunPipeline(Host& host, const PipelineOptions& options, std::string* topnPath) {
  fs::path out(options.out);
  std::string spillDir = (out / "spill").string();
  std::string pairs = (out / "pairs.txt").string();
  std::string frequent = (out / "frequent.txt").string();
  std::string support = (out / "support.txt").string();
  std::string topn = (out / "topn.txt").string();
  std::string ranked = (out / "ranked.txt").string();
  std::vector<std::string> outputs = {pairs, TokenCounts::PathFor(pairs), ranked,
                                      TokenCounts::PathFor(spillDir)};
  if (options.threshold) outputs.push_back(frequent);
  if (options.support) outputs.push_back(support);
  if (options.topn) outputs.push_back(topn);
  std::vector<std::string> inputs = options.count.corpora;
  const std::vector<std::string>& stopwordFiles = options.count.filters.stopwordFiles;
  inputs.insert(inputs.end(), stopwordFiles.begin(), stopwordFiles.end());
  if (std::string problem = InputOverwritten(inputs, outputs, spillDir); !problem.empty()) {
    return Fail("run: " + problem);
  }
  Session* session = host.Open();
  if (session == nullptr) return kExitFailure;
  // DIR itself is made, not a chain of missing parents.
  std::error_code made;
  if (!fs::is_directory(out, made) && !fs::create_directory(out, made) && made) {
    return Fail("run: cannot make the directory " + options.out + ": " + made.message());
  }
  bool progress = ShowProgress(host.options());
  // Every file the stages read, the library wrote a moment before.
  OperationOptions operations = host.options().operations();
  operations.trustInput = true;

  std::vector<Stage> stages;
  auto timed = [&](const std::string& name, auto work) {
    auto start = std::chrono::steady_clock::now();
    int failed = work();
    stages.push_back(
        {name, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    return failed;
  };
  // --jobs 0 is one per processor for the merge too, as for the count;
  // the merge itself takes 0 as one process.
  int mergeJobs = JobsOrDefault(options.count.jobs);
  CountSummary summary;
  if (int failed = timed("count", [&] {
        CountSettings count = options.count;
        count.direct = host.options().direct;
        Progress report("run", progress);
        return Report(CountIntoDirectory("run", session->library(), count, spillDir, &summary,
                                         &report, operations.output));
      })) {
    return failed;
  }
  // Every token filtered out, or no line with two: merge would write an
  // empty file, which rank, as on its own, could only refuse.
  if (summary.tally.pairsFed == 0) {
    return Fail("run: no pairs were counted from " + Grouped(summary.tally.lines) +
                " lines (stop words dropped " + Grouped(summary.tally.stopwordsDropped) +
                ", punctuation, symbols and digits dropped " +
                Grouped(summary.tally.punctuationDropped) + "): nothing to merge or rank");
  }
  if (int failed = timed("merge", [&] {
        Progress report("merge", progress);
        RangeMergeOptions merge;
        merge.jobs = mergeJobs;
        merge.report = &report;
        merge.operations = operations;
        return Report(MergeInRanges(*session, spillDir, pairs, merge));
      })) {
    return failed;
  }
  if (options.threshold) {
    if (int failed = timed("filter", [&] {
          return Report(FilterPairs(*session, pairs, frequent, *options.threshold, operations));
        })) {
      return failed;
    }
  }
  if (int failed = timed("rank", [&] {
        RankOptions rank;
        rank.top = options.top;
        std::string failure = RankFile(pairs, ranked, rank, operations);
        return Report(failure.empty() ? failure : "rank: " + failure);
      })) {
    return failed;
  }
  if (options.support) {
    if (int failed = timed("support", [&] {
          return Report(WriteSupport(*session, pairs, support, operations));
        })) {
      return failed;
    }
  }
  if (options.topn) {
    if (int failed = timed("topn", [&] {
          return Report(
              WriteTopN(*session, pairs, topn, options.top, operations,
                        options.count.oneWay ? TopNInput::kCounted : TopNInput::kCountedBothWays));
        })) {
      return failed;
    }
  }

  PrintCountSummary(summary, options.count);
  std::printf("merge jobs         %d\n", mergeJobs);
  std::printf("distinct pairs     %s\n", Grouped(LineCount(pairs)).c_str());
  std::printf("\nstage       seconds\n");
  double total = 0;
  for (const Stage& stage : stages) {
    std::printf("%-10s %8.2f\n", stage.name.c_str(), stage.seconds);
    total += stage.seconds;
  }
  std::printf("%-10s %8.2f\n", "total", total);
  std::printf("\noutput files\n");
  std::vector<std::string> files = {pairs, TokenCounts::PathFor(pairs), ranked};
  if (options.threshold) files.push_back(frequent);
  if (options.support) files.push_back(support);
  if (options.topn) files.push_back(topn);
  for (const std::string& file : files) {
    std::printf("  %-40s %10s\n", file.c_str(), HumanBytes(FileBytes(file)).c_str());
  }
  if (topnPath != nullptr && options.topn) *topnPath = topn;
  return 0;
}

Runner AddRunCommand(CLI::App& app) {
  auto args = std::make_shared<PipelineOptions>();
  CLI::App* command =
      AddCommand(app, "run", "CORPUS... --out DIR [options]",
                 "The whole pipeline, from corpora to statistics.\n"
                 "Counts the corpora (spill files in DIR/spill), merges them into DIR/pairs.txt\n"
                 "(the token counts beside it in DIR/pairs.txt.tokens),\n"
                 "ranks every word's --top associated words by llr into DIR/ranked.txt (as ulo\n"
                 "rank does), filters the pairs into DIR/frequent.txt when --threshold is given,\n"
                 "and writes the library's support records DIR/support.txt (--support; large)\n"
                 "and top-N file DIR/topn.txt (--topn) when asked; then prints a summary.");
  AddCountOptions(*command, &args->count);
  command->add_option("--out", args->out, "directory for every output")
      ->type_name("DIR")
      ->required();
  command
      ->add_option_function<int32_t>(
          "--threshold", [args](const int32_t& value) { args->threshold = value; },
          "also write the pairs whose count reaches T")
      ->type_name("T")
      ->transform(Int32Any());
  command->add_flag("--support", args->support, "also write the support records of every pair");
  command->add_flag("--topn", args->topn, "also write the library's top-N file by confidence");
  command->add_option("--top", args->top, "associated words per word in ranked.txt and topn.txt")
      ->type_name("N")
      ->transform(Int32AtLeast(1))
      ->capture_default_str();
  return [args](Host& host) { return RunPipeline(host, *args, nullptr); };
}

}  // namespace ulo::host
