#include "engine/count/jobs.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "engine/count/workers.h"
#include "engine/files/checks.h"
#include "engine/files/staging.h"
#include "engine/report/progress.h"
#include "engine/text/encoding.h"

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

// The failure line of `command`, without the "ulo: " lead.
std::string Failure(const std::string& command, const std::string& message) {
  return command + ": " + message;
}

uint64_t LinesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  uint64_t lines = 0;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    lines += static_cast<uint64_t>(std::count(buffer, buffer + in.gcount(), '\n'));
  }
  return lines;
}

// What a share holds, for a message about its worker.
std::string Describe(const Share& share, const CountSettings& settings) {
  std::string text;
  for (const Segment& segment : share) {
    if (!text.empty()) text += ", ";
    text += settings.corpora[segment.corpus];
    if (!segment.whole) {
      text += " bytes " + std::to_string(segment.begin) + "-" + std::to_string(segment.end);
    }
  }
  return text.empty() ? "no input" : text;
}

}  // namespace

int DefaultJobs() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return 1;
}

std::string CountIntoDirectory(const std::string& command, const Exports& exports,
                               bool showProgress, const CountSettings& settings, int jobs,
                               const std::string& dir, CountSummary* summary,
                               const OutputOptions& output) {
  std::string error;
  if (!settings.from.empty()) {
    Converter check;
    if (!check.Open(settings.from, "GB2312", &error)) return Failure(command, error);
  }
  // Read once here for every worker: a stop-word file may be a pipe.
  TokenFilter filter;
  if (!filter.Open(settings.filters, settings.from, &error)) return Failure(command, error);
  // Every corpus must open before any work starts, so a typo costs nothing.
  for (const std::string& path : settings.corpora) {
    if (std::string problem = InputFileProblem(path, InputKind::kCorpus, settings.from.empty());
        !problem.empty()) {
      return Failure(command, "cannot read the corpus " + path + ": " + problem);
    }
  }
  std::vector<Share> shares;
  if (!ShareCorpora(settings.corpora, jobs, &shares, &error)) return Failure(command, error);

  StagedDirectory staged;
  if (!staged.Open(dir, &error)) return Failure(command, error);
  std::vector<std::string> partDirs;
  for (size_t k = 0; k < shares.size(); ++k) {
    partDirs.push_back((fs::path(staged.path()) / ("part-" + std::to_string(k + 1))).string());
    std::error_code code;
    fs::create_directory(partDirs.back(), code);
    if (code) {
      staged.Discard();
      return Failure(command,
                     "cannot create the directory " + partDirs.back() + ": " + code.message());
    }
  }

  Progress progress(command, showProgress);
  WorkersOutcome outcome = RunWorkers(
      static_cast<int>(shares.size()),
      [&](int part, const TallySink& sink) -> std::string {
        // Each worker is a fork: the library loaded here serves it, with a
        // counting run of the worker's own.
        CountTally tally;
        return CountShare(exports, settings, filter, shares[static_cast<size_t>(part)],
                          partDirs[static_cast<size_t>(part)], &tally, sink);
      },
      [&](const CountTally& sum) { progress.CountingTotals(sum.lines, sum.pairsFed); });
  progress.Stop();
  if (!outcome.ok) {
    staged.Discard();
    std::string failure = outcome.failure;
    if (shares.size() > 1) {
      auto part = static_cast<size_t>(outcome.failedPart);
      failure = "part " + std::to_string(part + 1) + " of " + std::to_string(shares.size()) + " (" +
                Describe(shares[part], settings) + "): " + failure;
    }
    return Failure(command, failure);
  }

  summary->parts = shares.size();
  for (const CountTally& tally : outcome.tallies)
    summary->tally += tally;
  for (const std::string& part : partDirs) {
    for (int number = 1;; ++number) {
      fs::path file = fs::path(part) / ("temp" + std::to_string(number) + ".txt");
      std::error_code code;
      if (!fs::is_regular_file(file, code)) break;
      ++summary->spillFiles;
      summary->spillLines += LinesOf(file);
    }
  }
  if (!staged.Commit(&error, output)) {
    staged.Discard();
    return Failure(command, error);
  }
  summary->seconds = progress.ElapsedSeconds();
  return {};
}

void PrintCountSummary(const CountSummary& summary, const CountSettings& settings) {
  std::printf("lines read         %s\n", Grouped(summary.tally.lines).c_str());
  std::printf("pairs fed          %s (%s)\n", Grouped(summary.tally.pairsFed).c_str(),
              settings.oneWay ? "one way" : "both directions counted");
  std::printf(
      "library calls      %s (%s)\n", Grouped(summary.tally.libraryCalls).c_str(),
      settings.perPairCommands ? "one command per pair" : "each distinct pair of a batch once");
  std::printf("workers            %s\n", Grouped(summary.parts).c_str());
  std::printf("spill files        %s (%s lines)\n", Grouped(summary.spillFiles).c_str(),
              Grouped(summary.spillLines).c_str());
  const FilterOptions& filters = settings.filters;
  if (filters.defaultStopwords || !filters.stopwordFiles.empty()) {
    std::printf("stop words dropped %s\n", Grouped(summary.tally.stopwordsDropped).c_str());
  }
  if (filters.dropPunctuation) {
    std::printf("punctuation, symbols and digits dropped %s\n",
                Grouped(summary.tally.punctuationDropped).c_str());
  }
  if (!settings.from.empty()) {
    std::printf("skipped characters %s without a GB2312 form, %s invalid bytes\n",
                Grouped(summary.tally.unrepresentable).c_str(),
                Grouped(summary.tally.invalid).c_str());
  }
}

}  // namespace ulo::engine
