// ulo run: the whole pipeline, from corpora to statistics.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

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
  Session* session = host.Open();
  if (session == nullptr) return kExitFailure;
  bool progress = ShowProgress(host.options());

  std::vector<Stage> stages;
  auto timed = [&](const std::string& name, auto work) {
    auto start = std::chrono::steady_clock::now();
    int failed = work();
    stages.push_back(
        {name, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    return failed;
  };
  CountSummary summary;
  if (int failed = timed("count", [&] {
        CountSettings count = options.count;
        count.direct = host.options().direct;
        Progress report("run", progress);
        return Report(
            CountIntoDirectory("run", session->library(), count, spillDir, &summary, &report));
      })) {
    return failed;
  }
  if (int failed = timed("merge", [&] {
        Progress report("merge", progress);
        RangeMergeOptions merge;
        merge.jobs = options.count.jobs;
        merge.report = &report;
        return Report(MergeInRanges(*session, spillDir, pairs, merge));
      })) {
    return failed;
  }
  if (options.threshold) {
    if (int failed = timed("filter", [&] {
          return Report(FilterPairs(*session, pairs, frequent, *options.threshold));
        })) {
      return failed;
    }
  }
  if (int failed =
          timed("support", [&] { return Report(WriteSupport(*session, pairs, support)); })) {
    return failed;
  }
  if (int failed =
          timed("topn", [&] { return Report(WriteTopN(*session, pairs, topn, options.top)); })) {
    return failed;
  }

  PrintCountSummary(summary, options.count);
  std::printf("distinct pairs     %s\n", Grouped(LineCount(pairs)).c_str());
  std::printf("\nstage       seconds\n");
  double total = 0;
  for (const Stage& stage : stages) {
    std::printf("%-10s %8.2f\n", stage.name.c_str(), stage.seconds);
    total += stage.seconds;
  }
  std::printf("%-10s %8.2f\n", "total", total);
  std::printf("\noutput files\n");
  std::vector<std::string> files = {pairs, support, topn};
  if (options.threshold) files.insert(files.begin() + 1, frequent);
  for (const std::string& file : files) {
    std::printf("  %-40s %10s\n", file.c_str(), HumanBytes(FileBytes(file)).c_str());
  }
  if (topnPath != nullptr) *topnPath = topn;
  return 0;
}

Runner AddRunCommand(CLI::App& app) {
  auto args = std::make_shared<PipelineOptions>();
  CLI::App* command =
      AddCommand(app, "run", "CORPUS... --out DIR [options]",
                 "The whole pipeline, from corpora to statistics.\n"
                 "Counts the corpora (spill files in DIR/spill), merges them into DIR/pairs.txt,\n"
                 "filters them into DIR/frequent.txt when --threshold is given, and writes\n"
                 "DIR/support.txt and DIR/topn.txt; then prints a summary.");
  AddCountOptions(*command, &args->count);
  command->add_option("--out", args->out, "directory for every output")
      ->type_name("DIR")
      ->required();
  command
      ->add_option_function<int32_t>(
          "--threshold", [args](const int32_t& value) { args->threshold = value; },
          "also write the pairs whose count reaches T")
      ->type_name("T")
      ->check(Int32Any());
  command->add_option("--top", args->top, "associated words per word in topn.txt")
      ->type_name("N")
      ->check(Int32AtLeast(1))
      ->capture_default_str();
  return [args](Host& host) { return RunPipeline(host, *args, nullptr); };
}

}  // namespace ulo::host
