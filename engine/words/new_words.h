// Finding words that no dictionary lists in unsegmented text: candidates
// counted by the library as pairs (engine/words/candidates.h), then scored
// from the merged file in one pass.
//   cohesion  the smallest pmi over the string's split points, log2 of
//             f(s) T / (f(left part) f(right part)), T the letters counted;
//             a fragment of a word splits cheaply somewhere
//   freedom   the smaller of the entropies (bits) of the characters seen
//             before and after the string; a fragment of a longer word has
//             one neighbour it nearly always meets
//   score     cohesion x freedom x ln f(s)
// Memory holds the frequencies of the strings shorter than the longest
// candidate that reach the minimum count, and the candidates that pass the
// thresholds; the counting itself is the library's, in bounded memory.
#ifndef ULO_ENGINE_WORDS_NEW_WORDS_H_
#define ULO_ENGINE_WORDS_NEW_WORDS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/count/share_count.h"
#include "engine/files/staging.h"
#include "engine/report/progress.h"
#include "engine/session/exports.h"

namespace ulo::engine {

// Set by name through WordOptionTable (engine/count/options.h); a fresh
// object holds the table's defaults.
struct WordOptions {
  WordOptions();

  int maxLength;
  int64_t minCount;
  double minCohesion;
  double minFreedom;
  int32_t top;  // 0: every word that passes
};

struct NewWord {
  std::string word;  // library text
  int64_t frequency;
  double cohesion;
  double before;  // entropy of the characters before it, in bits
  double after;   // and of those after it
  double score;
  double freedom() const { return before < after ? before : after; }
};

// Scores the candidates of the merged, sorted pair-count file `pairs` (or
// a parts directory) and ranks those that pass the options' thresholds:
// higher score first, then higher frequency, then byte order. False with a
// sentence in `*error`.
bool RankNewWords(const std::string& pairs, const WordOptions& options, std::vector<NewWord>* words,
                  std::string* error);

// Writes the ranking to `path` (staged) as UTF-8 TSV for people, a header
// line first: word score frequency cohesion freedom before after. False
// with a sentence in `*error`.
bool WriteWordTable(const std::vector<NewWord>& words, const std::string& path, std::string* error,
                    const OutputOptions& output = {});

// Checks `pairs` (unless `trustInput`), ranks it and writes the table to
// `out`, staged. Returns an empty string or the sentence of what failed.
std::string WriteNewWords(const std::string& pairs, const std::string& out,
                          const WordOptions& options, bool trustInput,
                          const OutputOptions& output = {});

// The whole search over `count.corpora` (raw text in `count.from`):
// counted into workDir/spill (whose parent must exist), merged into
// workDir/candidates.txt (both staged, as `output` says), ranked into
// `*words`. Returns an empty string or the failure line.
std::string FindNewWords(const Exports& exports, CountSettings count, const WordOptions& options,
                         const std::string& workDir, std::vector<NewWord>* words,
                         ProgressReport* report, const OutputOptions& output = {});

// What a count for the search needs: candidates of up to `maxLength`
// letters, one way, through the exports.
void PrepareCandidateCount(CountSettings* count, int maxLength);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_WORDS_NEW_WORDS_H_
