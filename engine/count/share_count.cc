#include "engine/count/share_count.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "engine/count/line_counter.h"

namespace ulo::engine {

CountTally& CountTally::operator+=(const CountTally& other) {
  lines += other.lines;
  pairsFed += other.pairsFed;
  unrepresentable += other.unrepresentable;
  invalid += other.invalid;
  libraryCalls += other.libraryCalls;
  stopwordsDropped += other.stopwordsDropped;
  punctuationDropped += other.punctuationDropped;
  outsideGb2312Dropped += other.outsideGb2312Dropped;
  spillFiles += other.spillFiles;
  spillLines += other.spillLines;
  return *this;
}

std::string CountSegment(LineCounter& counter, const std::string& path, const Segment& segment,
                         const std::function<void(const CountTally&)>& progress) {
  // One corpus open at a time: a share may name thousands of them.
  SegmentReader reader;
  if (!reader.Open(path, segment)) {
    return "cannot open the corpus " + path + ": " + std::strerror(errno);
  }
  counter.SetOrigin(path);
  std::string problem;
  std::string_view line;
  uint64_t lineInSegment = 0;
  auto lastReport = std::chrono::steady_clock::now();
  while (reader.Next(&line)) {
    ++lineInSegment;
    if (!counter.CountLine(line, &problem)) {
      if (problem.empty()) return counter.failure();
      uint64_t number = lineInSegment;
      if (!segment.whole && segment.begin > 0) number += LineNumberAt(path, segment.begin) - 1;
      return "cannot count the corpus " + path + ": line " + std::to_string(number) + ": " +
             problem;
    }
    if (progress && (lineInSegment & 1023) == 0) {
      auto now = std::chrono::steady_clock::now();
      if (now - lastReport >= std::chrono::milliseconds(200)) {
        lastReport = now;
        progress(counter.tally());
      }
    }
  }
  return reader.Problem(path);
}

std::string CountShare(const Exports& exports, const CountSettings& settings,
                       const TokenFilter& filter, const Share& share, const std::string& workDir,
                       CountTally* tally, const std::function<void(const CountTally&)>& progress) {
  LineCounter counter(exports, settings, filter);
  std::string failure;
  if (!counter.Begin(workDir, &failure)) return failure;
  for (const Segment& segment : share) {
    failure = CountSegment(counter, settings.corpora[segment.corpus], segment, progress);
    if (!failure.empty()) break;
  }
  std::string ended;
  bool endedWell = counter.End(&ended);
  *tally = counter.tally();
  progress(*tally);
  if (!failure.empty()) return failure;
  if (!endedWell) return ended;
  return "";
}

}  // namespace ulo::engine
