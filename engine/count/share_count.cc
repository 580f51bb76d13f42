#include "engine/count/share_count.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>

#include "engine/files/checks.h"
#include "engine/text/encoding.h"
#include "engine/text/pair_batch.h"

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

// The number of line ends in the first `offset` bytes of `path`: a share
// starts mid-corpus, so a refused line is named by its line in the corpus.
// Read only when a line is refused.
uint64_t LinesBefore(const std::string& path, uint64_t offset) {
  uint64_t lines = 0;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  char buffer[1 << 16];
  while (offset > 0) {
    size_t want = offset < sizeof buffer ? static_cast<size_t>(offset) : sizeof buffer;
    size_t got = std::fread(buffer, 1, want, file);
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i)
      lines += buffer[i] == '\n';
    offset -= got;
  }
  std::fclose(file);
  return lines;
}

// The converter's and the filter's own counters, into the tally.
void TakeCounters(const std::optional<Converter>& converter, const TokenFilter& filter,
                  CountTally* tally) {
  if (converter) {
    tally->unrepresentable = converter->unrepresentable();
    tally->invalid = converter->invalid();
  }
  tally->stopwordsDropped = filter.stopwordsDropped();
  tally->punctuationDropped = filter.punctuationDropped();
}

}  // namespace

CountTally& CountTally::operator+=(const CountTally& other) {
  lines += other.lines;
  pairsFed += other.pairsFed;
  unrepresentable += other.unrepresentable;
  invalid += other.invalid;
  libraryCalls += other.libraryCalls;
  stopwordsDropped += other.stopwordsDropped;
  punctuationDropped += other.punctuationDropped;
  return *this;
}

std::string CountShare(const Exports& exports, const CountSettings& settings,
                       const TokenFilter& filter, const Share& share, const std::string& workDir,
                       CountTally* tally, const std::function<void(const CountTally&)>& progress) {
  // A copy of its own: the dropped tokens are counted per share.
  TokenFilter tokenFilter = filter;
  std::optional<Converter> converter;
  std::string error;
  if (!settings.from.empty()) {
    converter.emplace();
    if (!converter->Open(settings.from, "GB2312", &error)) return error;
  }
  Session session(exports, settings.direct);
  if (!session.Open(&error)) return error;
  auto addPair = exports.addPair;

  int32_t status = session.Begin(workDir);
  if (status != 0) {
    return "cannot open a counting run in " + workDir + " (status " + std::to_string(status) +
           ": " + DescribeStatus(status) + ")";
  }

  std::string failure;
  static const std::string kNoCorpus = "the corpora";
  const std::string* current = &kNoCorpus;
  // A spill that failed shows as a refused pair, or a failed End: the
  // system's cause, where it still shows, says so.
  auto spillCause = [&workDir](int captured) {
    return WriteFailureCause((fs::path(workDir) / "temp").string(), captured);
  };
  auto refused = [&](const std::string& what) {
    if (std::string cause = spillCause(errno); !cause.empty()) {
      failure = "cannot write a spill file in " + workDir + ": " + cause + " (while counting " +
                *current + ": " + what + ")";
      return;
    }
    failure = "the library refused a pair while counting " + *current + " (" + what +
              "; a spill file in " + workDir + " may not have been written)";
  };
  PairBatch batch(
      [&](const char* word1, const char* word2, int32_t count) {
        ++tally->libraryCalls;
        if (addPair(word1, word2, count, settings.oneWay ? 1 : 0) == 1) return true;
        refused("the pair's export answered false");
        return false;
      },
      !settings.oneWay);

  std::vector<std::string_view> tokens;
  std::string converted;
  auto lastReport = std::chrono::steady_clock::now();
  for (size_t s = 0; s < share.size() && failure.empty(); ++s) {
    current = &settings.corpora[share[s].corpus];
    // One corpus open at a time: a share may name thousands of them.
    SegmentReader reader;
    if (!reader.Open(*current, share[s])) {
      failure = "cannot open the corpus " + *current + ": " + std::strerror(errno);
      break;
    }
    std::string_view line;
    uint64_t lineInSegment = 0;
    while (failure.empty() && reader.Next(&line)) {
      ++tally->lines;
      ++lineInSegment;
      // Text that is not what it claims to be is refused, not counted as
      // noise. Through --from, the converter judges the encoding.
      std::string problem = CorpusLineProblem(line, !converter);
      if (problem.empty() && converter) {
        uint64_t invalidBefore = converter->invalid();
        converted.clear();
        converter->Convert(line, &converted);
        line = converted;
        if (converter->invalid() != invalidBefore) problem = "not valid " + settings.from;
      }
      if (!problem.empty()) {
        uint64_t number = lineInSegment;
        if (!share[s].whole) number += LinesBefore(*current, share[s].begin);
        failure = "cannot count the corpus " + *current + ": line " + std::to_string(number) +
                  ": " + problem;
        break;
      }
      Tokenize(line, settings.mode, &tokens);
      tokenFilter.Apply(&tokens);
      if (settings.perPairCommands) {
        ForEachPair(tokens, settings.window, [&](std::string_view a, std::string_view b) {
          if (!failure.empty()) return;
          ++tally->libraryCalls;
          int32_t added = session.AddPair(a, b, 1, settings.oneWay);
          if (added != 0) {
            refused("status " + std::to_string(added) + ": " + DescribeStatus(added));
            return;
          }
          ++tally->pairsFed;
        });
      } else {
        uint64_t before = batch.pairsAdded();
        batch.AddLine(tokens, settings.window);
        tally->pairsFed += batch.pairsAdded() - before;
      }
      if ((tally->lines & 1023) == 0) {
        auto now = std::chrono::steady_clock::now();
        if (now - lastReport >= std::chrono::milliseconds(200)) {
          lastReport = now;
          TakeCounters(converter, tokenFilter, tally);
          progress(*tally);
        }
      }
    }
    if (failure.empty() && reader.failed()) failure = "cannot read the corpus " + *current;
  }
  if (failure.empty()) batch.Flush();
  errno = 0;
  status = session.End();
  int captured = errno;
  TakeCounters(converter, tokenFilter, tally);
  progress(*tally);
  if (!failure.empty()) return failure;
  if (status != 0) {
    std::string statusText = "(status " + std::to_string(status) + ": " + DescribeStatus(status) + ")";
    if (std::string cause = spillCause(captured); !cause.empty()) {
      return "cannot write a spill file in " + workDir + ": " + cause + " " + statusText;
    }
    return "the counting run in " + workDir + " failed at its end " + statusText;
  }
  return "";
}

}  // namespace ulo::engine
