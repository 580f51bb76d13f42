// One counting run over one share of the corpora: Begin in a directory, the
// pairs of every line, End. The pairs reach the library through its export,
// each distinct pair of a batch once with its count; Begin and End (and,
// when asked, every single pair) go through the extension object's commands.
#ifndef ULO_ENGINE_COUNT_SHARE_H_
#define ULO_ENGINE_COUNT_SHARE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/count/shares.h"
#include "engine/session/exports.h"
#include "engine/session/session.h"
#include "engine/text/filter.h"
#include "engine/text/tokenizer.h"

namespace ulo::engine {

// What a count does. A fresh object holds the defaults of the option table
// (engine/count/options.h), the one set that every front-end shares.
struct CountSettings {
  CountSettings();

  std::vector<std::string> corpora;
  int window;
  bool oneWay;
  TokenMode mode;
  std::string from;  // the corpora's encoding; empty: the library's (GB18030, GB2312 in it)
  // One command buffer per pair, as before batches existed: kept to measure
  // against, and as the plainest route through the extension object.
  bool perPairCommands;
  // Begin and End (and the single pairs) through the exports, not commands.
  bool direct = false;
  FilterOptions filters;  // tokens dropped before pairing
  int jobs;               // worker processes for whole files; 0: one per processor
  // 0: tokens paired within the window. N: instead, the strings of up to N
  // letters of the new-word search and the characters beside them
  // (engine/words/candidates.h); no token, window or filter applies.
  int candidateLength = 0;
};

// What a counting run has done so far. Plain numbers, so that workers can
// send it through a pipe as it is.
struct CountTally {
  uint64_t lines = 0;
  uint64_t pairsFed = 0;
  uint64_t unrepresentable = 0;
  uint64_t invalid = 0;
  uint64_t libraryCalls = 0;
  uint64_t stopwordsDropped = 0;
  uint64_t punctuationDropped = 0;
  uint64_t outsideGb2312Dropped = 0;  // tokens, under the encoding gb2312
  uint64_t spillFiles = 0;            // the spill files the run wrote, known at its end
  uint64_t spillLines = 0;

  CountTally& operator+=(const CountTally& other);
};

class LineCounter;

// Counts the lines of one segment of the corpus `path` through `counter`,
// calling `progress` (when set) now and then. Returns an empty string, or
// the sentence that says what failed; a refused line is named by its
// corpus and line number.
std::string CountSegment(LineCounter& counter, const std::string& path, const Segment& segment,
                         const std::function<void(const CountTally&)>& progress);

// Counts `share` into `workDir` (which must exist) with a run of its own,
// the tokens of every line passed through a copy of `filter` (opened from
// `settings.filters` once for all shares, so that every worker drops the
// same words). Calls `progress` now and then with the tally so far.
// Returns an empty string, or the sentence that says what failed (without
// the "ulo: " lead).
std::string CountShare(const Exports& exports, const CountSettings& settings,
                       const TokenFilter& filter, const Share& share, const std::string& workDir,
                       CountTally* tally, const std::function<void(const CountTally&)>& progress);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_COUNT_SHARE_H_
