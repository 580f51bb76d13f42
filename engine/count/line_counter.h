// The one place where lines become counted pairs: a counting run of the
// library, fed lines of raw text (checked, converted, tokenized), lines of
// tokens cut elsewhere, or file segments. ulo's workers and every feed of
// the C API count through it, so all give the same spill files.
#ifndef ULO_ENGINE_COUNT_LINE_COUNTER_H_
#define ULO_ENGINE_COUNT_LINE_COUNTER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/count/share_count.h"
#include "engine/count/token_counts.h"
#include "engine/text/encoding.h"
#include "engine/text/pair_batch.h"

namespace ulo::engine {

class LineCounter {
 public:
  // `filter` is copied: the dropped tokens are counted per run.
  LineCounter(const Exports& exports, const CountSettings& settings, const TokenFilter& filter);
  ~LineCounter();
  LineCounter(const LineCounter&) = delete;
  LineCounter& operator=(const LineCounter&) = delete;

  // Opens the library's counting run in `workDir`, which must exist and
  // hold no spill file of an earlier run. A run that ends well seals the
  // spill files it wrote there.
  bool Begin(const std::string& workDir, std::string* error);
  // Names the text the next lines come from, for messages.
  void SetOrigin(std::string name) { origin = std::move(name); }

  // Counts one line of raw text, its line end included. False when the line
  // is refused (*problem says why, to follow "line N: ") or the library
  // refused a pair (failure() says so).
  bool CountLine(std::string_view line, std::string* problem);
  // Counts one line of UTF-8 tokens separated by TAB (no line end).
  bool CountTokenLine(std::string_view line, std::string* problem);

  // Ends the run: the last spill file is written, and the tokens counted
  // (what the tokenizer and the filters kept) go to WORKDIR.tokens beside
  // the work directory. False with a sentence.
  bool End(std::string* error);
  bool open() const { return begun; }
  const std::string& failure() const { return failed; }

  // The tally so far, with the converters' and the filter's counters.
  const CountTally& tally();

 private:
  bool CountTokens();

  const Exports& exports;
  const CountSettings& settings;
  TokenFilter filter;
  std::optional<Converter> converter;       // from the source encoding
  std::optional<Converter> tokenConverter;  // from UTF-8, for token lines
  Session session;
  std::optional<PairBatch> batch;
  std::string workDir;
  std::string origin = "the corpora";
  std::string failed;
  std::string converted;
  std::vector<std::string_view> tokens;
  TokenCounts unigrams;
  CountTally counted;
  bool begun = false;
};

// The line of `path` that starts at byte `offset`, 1-based: a segment starts
// mid-corpus, so a refused line is named by its line in the corpus.
uint64_t LineNumberAt(const std::string& path, uint64_t offset);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_COUNT_LINE_COUNTER_H_
