// Adds up the repeated token pairs of a batch of lines, so that each distinct
// pair crosses into the library once, with its count, instead of once per
// occurrence. The table is bounded: when it fills, it is handed over and
// starts empty, so memory stays fixed whatever the corpus.
//
// The pairs of the most frequent words (those of the first full batch) are
// summed apart, in a dense square that lasts across batches and crosses only
// on Flush: they are a third or more of a text's pairs, and would otherwise
// cross again with every batch. Which batch a pair crosses in changes the
// library's spill files, never what they add up to.
#ifndef ULO_ENGINE_PAIR_BATCH_H_
#define ULO_ENGINE_PAIR_BATCH_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ulo::engine {

class PairBatch {
 public:
  // Receives one distinct pair: NUL-terminated words and a positive count.
  // Returns false to stop the hand-over (the library refused the pair).
  using Hand = std::function<bool(const char* word1, const char* word2, int32_t count)>;
  // Receives words and how many tokens each was since the last hand-over,
  // all of a batch at once.
  using Tallied = std::vector<std::pair<std::string_view, uint64_t>>;
  using Tally = std::function<void(const Tallied& words)>;

  // Small enough for the tables to stay in the processor's caches: a larger
  // batch adds up more repeats but pays a cache miss for every pair.
  struct Limits {
    size_t pairs = size_t{1} << 14;      // distinct pairs held
    size_t words = size_t{1} << 15;      // distinct words held
    size_t wordBytes = size_t{1} << 20;  // bytes of the word copies
  };

  // With `bothDirections`, (a, b) and (b, a) are one entry: the library counts
  // both directions of every pair it is handed, so either order gives the same.
  PairBatch(Hand hand, bool bothDirections)
      : PairBatch(std::move(hand), bothDirections, Limits{}) {}
  PairBatch(Hand hand, bool bothDirections, Limits limits);

  // Also counts the tokens of every line added, handing each word's count
  // over with the batch's pairs: one call per distinct word of a batch, not
  // one per token.
  void TallyTokens(Tally take) { tally = std::move(take); }

  // Adds every pair of `tokens` at most `window` positions apart, in reading
  // order. Hands the batch over first whenever it is full, also in the middle
  // of a line. False once a hand-over has failed.
  bool AddLine(const std::vector<std::string_view>& tokens, int window);

  // Adds the one pair (first, second), handing the batch over first when it
  // is full. False once a hand-over has failed.
  bool Add(std::string_view first, std::string_view second);

  // Hands over every pair held, the frequent words' too, and empties the
  // batch.
  bool Flush();

  // Pairs added so far (occurrences, not distinct pairs).
  uint64_t pairsAdded() const { return added; }
  // Calls of the hand-over so far.
  uint64_t handedOver() const { return handed; }

 private:
  static constexpr uint32_t kNoWord = UINT32_MAX;
  struct Word {
    size_t offset;  // into `bytes`, where the word and its NUL stand
    uint32_t length;
    uint32_t hash;
  };
  struct PairSlot {
    uint64_t key;  // first id << 32 | second id; kEmptyKey when free
    uint64_t count;
  };
  static constexpr uint64_t kEmptyKey = UINT64_MAX;

  // The slot of `slots` (ids of `known`, whose bytes lie in `arena`) that
  // holds `word`, or the free one where it goes.
  static size_t FindSlot(const std::vector<uint32_t>& slots, const std::vector<Word>& known,
                         const std::string& arena, std::string_view word, uint32_t hash);
  uint32_t Intern(std::string_view word);
  void AddPair(uint32_t first, uint32_t second);
  void AddToTable(uint32_t first, uint32_t second, uint64_t count);
  // The word's place in the head, or kNoWord.
  uint32_t HeadIndex(std::string_view word, uint32_t hash) const;
  void ChooseHead();
  // Hands over the batch's table (when full, first choosing the head once)
  // or the head (Flush only).
  bool HandFull();
  bool HandBatch();
  bool HandHead();
  bool HandOver(const char* first, const char* second, uint64_t count);
  bool Full(size_t wordBytesNeeded) const;
  void Clear();

  void HandTallies();

  Hand hand;
  Tally tally;
  bool bothDirections;
  Limits limits;

  std::string bytes;
  std::vector<Word> words;
  std::vector<uint64_t> tallies;  // tokens by word id, when tallying
  Tallied tallied;
  std::vector<uint32_t> wordSlots;  // word ids, kNoWord when free
  std::vector<PairSlot> pairSlots;
  size_t pairCount = 0;
  uint64_t generation = 0;  // bumped by every hand-over: token ids go stale
  bool failed = false;

  // The frequent words' pairs (the head), in a square of 4 MiB.
  static constexpr uint32_t kHeadWords = 1024;
  bool headChosen = false;
  std::vector<uint32_t> headCounts;   // first * kHeadWords + second
  std::vector<Word> head;             // its words, by place, in headBytes
  std::string headBytes;              // each NUL-terminated
  std::vector<uint32_t> headSlots;    // head places by hash, kNoWord when free
  std::vector<uint32_t> wordHeads;    // by word id: head index, or kNoWord

  uint64_t added = 0;
  uint64_t handed = 0;

  // Per line: the id of each token, valid while its generation is current.
  std::vector<uint32_t> lineIds;
  std::vector<uint64_t> lineGenerations;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_PAIR_BATCH_H_
