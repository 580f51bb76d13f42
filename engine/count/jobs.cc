#include "engine/count/jobs.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/count/token_counts.h"
#include "engine/count/workers.h"
#include "engine/files/checks.h"
#include "engine/files/staging.h"
#include "engine/text/encoding.h"

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

// The failure line of `command`, without the "ulo: " lead.
std::string Failure(const std::string& command, const std::string& message) {
  return command + ": " + message;
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

int JobsOrDefault(int jobs) {
  return jobs > 0 ? jobs : DefaultJobs();
}

std::string CountIntoDirectory(const std::string& command, const Exports& exports,
                               const CountSettings& settings, const std::string& dir,
                               CountSummary* summary, ProgressReport* report,
                               const OutputOptions& output) {
  auto start = std::chrono::steady_clock::now();
  int jobs = JobsOrDefault(settings.jobs);
  std::string error;
  if (!settings.from.empty()) {
    if (std::string problem = SourceEncodingProblem(settings.from); !problem.empty())
      return Failure(command, problem);
  }
  // Read once here for every worker.
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

  WorkersOutcome outcome = RunWorkers(
      static_cast<int>(shares.size()),
      [&](int part, const TallySink& sink) -> std::string {
        // Each worker is a fork: the library loaded here serves it, with a
        // counting run of the worker's own.
        CountTally tally;
        return CountShare(exports, settings, filter, shares[static_cast<size_t>(part)],
                          partDirs[static_cast<size_t>(part)], &tally, sink);
      },
      [&](const CountTally& sum) {
        return report == nullptr || report->Counting(sum.lines, sum.pairsFed);
      });
  if (report != nullptr) report->Stop();
  if (!outcome.ok) {
    staged.Discard();
    std::string failure = outcome.failure;
    if (shares.size() > 1 && outcome.failedPart >= 0) {
      auto part = static_cast<size_t>(outcome.failedPart);
      failure = "part " + std::to_string(part + 1) + " of " + std::to_string(shares.size()) + " (" +
                Describe(shares[part], settings) + "): " + failure;
    }
    return Failure(command, failure);
  }

  summary->parts = shares.size();
  for (const CountTally& tally : outcome.tallies)
    summary->tally += tally;
  // The runs' token counts leave the tree, summed; DIR.tokens follows the
  // directory, so a kill between the two leaves none rather than another's.
  std::error_code stale;
  fs::remove(TokenCounts::PathFor(dir), stale);
  StagedOutput tokens(TokenCounts::PathFor(dir), output);
  bool counted = false;
  if (tokens.path().empty()) {
    tokens.Commit(&error);
  } else {
    JoinTokenCounts(staged.path(), tokens.path(), &counted, &error);
  }
  if (!error.empty()) {
    staged.Discard();
    return Failure(command, error);
  }
  if (!staged.Commit(&error, output)) {
    staged.Discard();
    return Failure(command, error);
  }
  if (counted && !tokens.Commit(&error)) return Failure(command, error);
  summary->seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {};
}

std::string SummaryFigures(const CountSummary& summary) {
  const CountTally& tally = summary.tally;
  std::string text;
  for (auto [name, value] : {std::pair<const char*, uint64_t>{"lines", tally.lines},
                             {"pairs_fed", tally.pairsFed},
                             {"library_calls", tally.libraryCalls},
                             {"stopwords_dropped", tally.stopwordsDropped},
                             {"punctuation_dropped", tally.punctuationDropped},
                             {"outside_gb2312_dropped", tally.outsideGb2312Dropped},
                             {"unrepresentable", tally.unrepresentable},
                             {"invalid", tally.invalid},
                             {"workers", summary.parts},
                             {"spill_files", tally.spillFiles},
                             {"spill_lines", tally.spillLines}}) {
    text += std::string(name) + "\t" + std::to_string(value) + "\n";
  }
  return text;
}

}  // namespace ulo::engine
