// The unigram counts a count writes beside its pairs, so that a word's
// frequency and the total can be those of the tokens rather than sums of
// pair counts. DIR.tokens beside a count's directory, OUT.tokens beside a
// merged file, in the library's encoding (GB18030):
//   ulo-tokens 1 TOTAL WINDOW
//   word TAB count            (one a word, in byte order)
// TOTAL is the number of tokens counted, WINDOW the count's window.
#ifndef ULO_ENGINE_COUNT_TOKEN_COUNTS_H_
#define ULO_ENGINE_COUNT_TOKEN_COUNTS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/files/staging.h"
#include "engine/stats/word_table.h"

namespace ulo::engine {

class TokenCounts {
 public:
  // Where the counts of `pairs` (a work directory, a pair file or a parts
  // directory) lie: its path, without trailing slashes, and ".tokens".
  static std::string PathFor(const std::string& pairs);

  // Counts `count` tokens of `token`.
  void Add(std::string_view token, uint64_t count = 1);
  // Counts each (token, count), the lookups of many words overlapped.
  void AddAll(const std::vector<std::pair<std::string_view, uint64_t>>& counted);
  void SetWindow(int value) { span = value; }
  bool empty() const { return sum == 0; }

  // False with a sentence naming `path` in `*error`.
  bool Read(const std::string& path, std::string* error);
  // Written staged: `path` appears whole or not at all.
  bool Write(const std::string& path, std::string* error, const OutputOptions& output = {}) const;

  std::optional<int64_t> Find(std::string_view word) const;
  int64_t total() const { return sum; }
  int window() const { return span; }

 private:
  // Adds `count` to `word`'s tally.
  void Bump(std::string_view word, int64_t count);

  // Every token of a count passes here.
  WordTable words;
  std::vector<int64_t> tallies;
  std::vector<uint64_t> hashes;  // AddAll's, kept for its next call
  int64_t sum = 0;
  int span = 1;
};

// Takes the token counts of the runs whose work directories lie in `dir`
// (DIR/part-K.tokens beside DIR/part-K; hidden files are left out: a run's
// that was stopped before it was put in place): writes their sum to the file `to`
// in one pass over them all (each is in its words' byte order) and removes
// them, since the merge takes every file of the tree. `*found` says whether
// there were any (candidate words leave none). False with a sentence.
bool JoinTokenCounts(const std::string& dir, const std::string& to, bool* found,
                     std::string* error);

// The same, the sum written to DIR.tokens; a stale DIR.tokens goes first,
// so that a count never stands beside another's.
bool GatherTokenCounts(const std::string& dir, std::string* error,
                       const OutputOptions& output = {});

}  // namespace ulo::engine

#endif  // ULO_ENGINE_COUNT_TOKEN_COUNTS_H_
