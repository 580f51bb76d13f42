// Ranking every word's associated words of a pair-count file by a measure,
// in two passes over the file: the first sums the frequencies and the
// total as the library's statistics do, the second scores each line in
// both directions and keeps each word's best N. Memory grows with the
// number of distinct words, never with the number of pairs: the first pass
// keeps the lines as word ids for the second only up to a fixed size.
#ifndef ULO_ENGINE_RANK_H_
#define ULO_ENGINE_RANK_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/count/token_counts.h"
#include "engine/files/staging.h"
#include "engine/session/operations.h"
#include "engine/stats/measures.h"
#include "engine/stats/word_table.h"
#include "engine/text/encoding.h"

namespace ulo::engine {

// Which lines offer a word its associates. A line (word1, word2) of a count
// made one way says word2 followed word1; counted both ways, each pair
// stands on two lines and the direction says nothing.
enum class Direction { kBoth, kAfter, kBefore };

// Where a word's frequency and the total come from. kPairs: the pair file
// itself (a word's frequency sums the counts of its lines, the total is
// twice the sum of all counts). kTokens: the token counts the count wrote
// beside it (PAIRS.tokens), a pair's count divided by the window, as
// collocation finders that count tokens do.
enum class Marginals { kPairs, kTokens };

// Set by name through the table of engine/count/options.h, which holds
// their defaults and help.
struct RankOptions {
  Measure measure = Measure::kLlr;
  int32_t top = 10;
  int64_t minCount = 0;      // lines with a lower count are not scored; 0: the measure's default
  int64_t minWordCount = 1;  // nor pairs with a word of a lower frequency
  bool selfPairs = false;    // a word paired with itself (x, x) is scored too
  Direction direction = Direction::kBoth;  // kAfter: the words that follow it
  Marginals marginals = Marginals::kPairs;
  std::string to = kPeopleEncoding;  // the encoding of a written ranking's words
};

// The smallest count scored: minCount, or the measure's default.
int64_t MinCount(const RankOptions& options);

struct RankedItem {
  uint32_t other;  // a word id
  double score;
  int64_t count;  // the count of the line that gave the score
  bool follows;   // that line has `other` after the word (as its word2)
};

// Whether every line (id1, id2, count) of a pair file has its mirror
// (id2, id1, count) in the file too, as in a count made both ways: order-free
// sums of a hash of each whole line and of its mirror, equal when it has
// (128 bits: a file that has not passes with odds of 2^-128).
class MirrorCheck {
 public:
  void Add(uint32_t id1, uint32_t id2, int64_t count) {
    lines.Add(id1, id2, count);
    mirrors.Add(id2, id1, count);
  }
  bool Mirrored() const { return lines == mirrors; }

 private:
  struct Sums {
    uint64_t first = 0, second = 0;
    void Add(uint32_t id1, uint32_t id2, int64_t count);
    bool operator==(const Sums& other) const {
      return first == other.first && second == other.second;
    }
  };
  Sums lines, mirrors;
};

class Ranking {
 public:
  // Both passes over `path`. With `bases`, only those words' lists are
  // kept (the frequencies still come from the whole file). False with a
  // sentence in `*error` when the file cannot be read to its end.
  bool Build(const std::string& path, const RankOptions& options, std::string* error,
             const std::vector<std::string>* bases = nullptr);

  // Build in steps, for a file ranked part by part: the first pass (over
  // each part, or frequencies summed elsewhere with AddFrequency and
  // AddTotal), then Keep, then the second pass over one part.
  void SetOptions(const RankOptions& rankOptions) { options = rankOptions; }
  // With token marginals, reads PAIRS.tokens of the pair file `pairs`;
  // false with a sentence in `*error` when it is missing or unreadable.
  bool ReadMarginals(const std::string& pairs, std::string* error);
  bool CountFrequencies(const std::string& path, std::string* error);
  // Room for `count` words, for a caller that knows how many come.
  void Reserve(size_t count);
  // Returns the word's id.
  uint32_t AddFrequency(std::string_view word, int64_t frequency);
  void AddTotal(int64_t sum);
  void Keep(const std::vector<std::string>* bases);
  bool Score(const std::string& path, std::string* error);
  // The second pass's work on one line; false when a word of it is not
  // known (the file changed since the first pass).
  bool ScoreLine(std::string_view line);
  // The same for the line (id1, id2, count).
  void ScorePair(uint32_t id1, uint32_t id2, int64_t count);
  // The word's frequency under the options' marginals.
  int64_t Margin(uint32_t id);
  // The score of base -> other for a line of `count`, under the marginals.
  double PairScore(uint32_t base, uint32_t other, int64_t count);
  // Offers `other` to `base`'s list as the second pass does: lists ranked
  // apart, offered in file order, join into the lists of the whole file.
  void OfferItem(std::string_view base, std::string_view other, double score, int64_t count,
                 bool follows);

  size_t WordCount() const { return words.size(); }
  const std::string& Word(uint32_t id) const { return words.Word(id); }
  int64_t Frequency(uint32_t id) const { return frequencies[id]; }
  int64_t Total() const { return total; }
  std::optional<uint32_t> Find(std::string_view word) const;
  // The word's best items, best first: higher score, then the other word's
  // bytes in ascending order.
  const std::vector<RankedItem>& List(uint32_t id) const { return lists[id]; }
  // Word ids in the byte order of their words.
  std::vector<uint32_t> SortedIds() const;

 private:
  uint32_t Intern(std::string_view word);
  void Offer(uint32_t base, const RankedItem& item);
  bool Better(const RankedItem& x, const RankedItem& y) const;
  // Keeps the line (id1, id2, count) of the first pass for the second;
  // `follows` says that word2 does not sort before word1.
  void Record(uint32_t id1, uint32_t id2, int64_t count, bool follows);
  // ScorePair's work on a mirrored file: the offer to id2 is the one its
  // own line (id2, id1) makes, so only id1 is offered, with the side the
  // first of the two lines in file order would have given.
  void ScoreMirrored(uint32_t id1, uint32_t id2, int64_t count, bool follows);
  bool OneSide() const { return mirrored && options.direction == Direction::kBoth; }
  // The second pass over the recorded lines.
  void ScoreRecorded();

  RankOptions options;
  WordTable words;
  // The last word interned and its id: a sorted file repeats its first word
  // line after line.
  std::string_view lastWord;
  uint32_t lastId = 0;
  std::vector<int64_t> frequencies;
  std::vector<std::vector<RankedItem>> lists;
  std::vector<bool> kept;
  // Per word: the score an item must reach to enter its list (its last
  // item's once full; -inf before, +inf for a word not kept), so that most
  // offers end on one number.
  std::vector<double> floors;
  // Every line's mirror stands in the file and the ranking looks both
  // ways: each word's own lines give all its offers.
  bool mirrored = false;
  // The first pass's lines as word ids, varint-coded: id2 << 2 | follows
  // << 1 | (id1 differs from the line before), then id1 when it does, then
  // the count.
  // Dropped when it outgrows kRecordBytes; the second pass then reads
  // `recordedPath` again.
  static constexpr size_t kRecordBytes = size_t{64} << 20;
  std::string recorded;
  std::string recordedPath;
  bool recording = false;
  uint32_t recordedFirst = UINT32_MAX;
  int64_t total = 0;
  std::optional<TokenCounts> tokens;      // with token marginals
  std::vector<int64_t> tokenFrequencies;  // by word id, -1 until looked up
};

// Calls take(line) for each line of the pair-count file `path` (or of its
// parts, in order), its LF or CR LF removed. False with a sentence in
// `*error` when a file cannot be read to its end.
bool ForEachPairFileLine(const std::string& path, std::string* error,
                         const std::function<void(std::string_view)>& take);

// Why a pass over `path` stopped at a word the first pass did not see: the
// file changed between them while it was `done` ("ranked", "exported").
std::string ChangedWhileRead(const std::string& path, const char* done);

// Splits a pair-count line (its line end removed) into its two words and
// its count, read as the library reads it: optional blanks and sign, then
// digits, stopping at the first other byte; no digits give 0. False for a
// line without two TABs.
bool ParsePairLine(std::string_view line, std::string_view* word1, std::string_view* word2,
                   int64_t* count);

// One line of a ranked file: "word TAB other TAB score TAB count TAB
// after|before" LF, the words converted by `shown` when given.
std::string RankedLine(const Ranking& ranking, uint32_t id, const RankedItem& item,
                       PeopleText* shown = nullptr);
// The same for words already as they are to be written.
std::string RankedLine(std::string_view word, std::string_view other, const RankedItem& item);

// Writes "word TAB other TAB score TAB count TAB after|before" for every
// item, the words in byte order, converted by `shown` for people when given
// (else the library's bytes); the last field says where `other` stood. The
// file is written under a staging name renamed to `path` once whole. False
// with a sentence naming `path` and the system's cause in `*error` when it
// cannot be written whole, or naming `source` when a word was not library
// text (nothing is written then).
bool WriteRanking(const Ranking& ranking, const std::string& path, std::string* error,
                  PeopleText* shown = nullptr, const OutputOptions& output = {},
                  const std::string& source = "the pair-count file");

// Ranks the pair-count file `in` into `out`, checked first (unless
// `operations.trustInput`) and staged: `out` appears whole or not at all.
// Returns an empty string or the sentence that says what failed. With
// `lossyWords`, sets it to the number of words written with '?' for
// characters `options.to` lacks.
std::string RankFile(const std::string& in, const std::string& out, const RankOptions& options,
                     const OperationOptions& operations = {}, uint64_t* lossyWords = nullptr);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_RANK_H_
