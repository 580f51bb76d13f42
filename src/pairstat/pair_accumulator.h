// Counting of ordered word pairs in bounded memory, with sorted spill files.
#ifndef ULO_PAIRSTAT_PAIR_ACCUMULATOR_H_
#define ULO_PAIRSTAT_PAIR_ACCUMULATOR_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/large_memory.h"
#include "text/text_writer.h"

namespace ulo::pairstat {

// Distinct pairs held before they are spilled to the next file.
constexpr int32_t kSpillThreshold = 0x400000;
// Words of the dense head: their pairs' counts take 8 MiB.
constexpr uint32_t kHeadWords = 1024;
// Longest working directory accepted, in bytes.
constexpr size_t kMaxWorkDirLength = 255;

// Counts ordered word pairs of one counting run. Whenever kSpillThreshold
// distinct pairs are held, they go, sorted on the first word and then the
// second (unsigned bytes, the first difference decides, a word before its
// own extensions, no case folding), to the next spill file "temp<N>.txt" of
// the working directory (N from 1; a file that could not be stored keeps its
// number), one pair-count line per pair, and counting starts afresh. Finish
// writes the rest to one last file. Counts are summed in 64 bits and stop at
// its extremes.
//
// Words are interned per spill period: a word hash table maps each word to a
// small number, and the pair table counts pairs of those numbers in 64 bits.
// Sorting happens once per spill, in the pair table's own space. Nothing is
// allocated per pair; memory stays bounded by the spill threshold.
//
// Pairs are staged and counted in batches, so that the table slots of a whole
// batch are fetched from memory at once rather than one after the other. A
// pair is staged only while no staged pair can reach the spill threshold, and
// whatever a batch needs (table room, word bytes) is reserved by the call that
// stages it: every spill, failure and result belongs to the same call as
// without staging.
//
// The pairs of two frequent words, a large share of all counting, are summed
// in a dense square of counts (the head) rather than in the pair table: the
// words numbered below `headWords` are the head's, and each period numbers
// first the words that had the most partners in the period before. The head
// changes where a pair is held, never what a spill holds.
//
// Internal failures raise a `const char*` holding the step's message (see the
// throws); no export catches them, so a host meets an exception of that type
// from the counting call, or its own runtime's termination if it cannot
// catch one.
class PairAccumulator {
 public:
  // `spillThreshold` is the number of distinct pairs that causes a spill;
  // counting runs use kSpillThreshold, tests a smaller number. It must lie
  // between 1 and kSpillThreshold. `headWords` (at most kHeadWords) sizes
  // the dense head; 0 counts every pair in the pair table.
  explicit PairAccumulator(int32_t spillThreshold = kSpillThreshold,
                           uint32_t headWords = kHeadWords);
  virtual ~PairAccumulator();
  PairAccumulator(const PairAccumulator&) = delete;
  PairAccumulator& operator=(const PairAccumulator&) = delete;

  // Prepares a run whose spill files go to `workDir`: nothing held, spill
  // numbering from 1. False, with nothing changed, for a null or empty directory or one
  // longer than kMaxWorkDirLength bytes.
  bool Start(const char* workDir);

  // Counts the ordered pair (word1, word2) with `count`; both words are
  // non-empty. False when a spill that this call caused could not be stored
  // whole (its pairs are lost; counting goes on with the next file number).
  bool AddPair(std::string_view word1, std::string_view word2, int32_t count);
  // AddPair(word1, word2, count) and then AddPair(word2, word1, count);
  // false when either was.
  bool AddPairBothWays(std::string_view word1, std::string_view word2, int32_t count);

  // Writes every held pair, sorted, to the file `name` in the working
  // directory (created or emptied). Sorting rearranges the tables in place,
  // so the held pairs are released afterwards as by FreeAll. False when the
  // file could not be created or written whole; a partly written file is
  // removed, so no spill file ever ends in a cut line.
  bool WriteSpillFile(const std::string& name);

  // Releases every held pair and word; keeps the tables' room for the next
  // period, the working directory and the spill numbering.
  void FreeAll();

  // Writes the last spill file (empty when no pair is held) and releases all
  // memory. False when that file could not be stored whole.
  bool Finish();

  // Distinct pairs held (staged pairs are counted first).
  int32_t pairCount();
  int32_t spillNumber() const { return nextSpill; }
  const std::string& workDir() const { return directory; }

 private:
  // A zero-filled array of trivial records from platform::AllocateLargeZeroed.
  template <typename T>
  class Table {
   public:
    Table() = default;
    explicit Table(size_t count, bool touched = false)
        : data(static_cast<T*>(platform::AllocateLargeZeroed(count * sizeof(T), touched))),
          count(count) {
      if (data == nullptr) throw std::bad_alloc();
    }
    ~Table() { platform::FreeLarge(data, count * sizeof(T)); }
    Table(Table&& other) noexcept : data(other.data), count(other.count) {
      other.data = nullptr;
      other.count = 0;
    }
    Table& operator=(Table&& other) noexcept {
      std::swap(data, other.data);
      std::swap(count, other.count);
      return *this;
    }
    T& operator[](size_t i) const { return data[i]; }
    T* get() const { return data; }
    explicit operator bool() const { return data != nullptr; }
    void reset() { *this = Table(); }

   private:
    T* data = nullptr;
    size_t count = 0;
  };

  // One distinct word of the period.
  struct Word {
    const char* bytes;
    uint32_t length;
    uint32_t rank;    // place in byte order, set while spilling
    uint64_t prefix;  // first 8 bytes, big-endian, zero-padded: orders most words
  };
  // A pair table slot: key 0 is free, else (first + 1) << 32 | (second + 1)
  // with word numbers as keys.
  struct PairSlot {
    uint64_t key;
    int64_t count;
  };

  // A word table slot; id is the word's number + 1, 0 when free.
  struct WordSlot {
    uint64_t head;  // first bytes, as WordHead gives them
    uint32_t length;
    uint32_t id;
  };

  // A pair waiting to be counted, with its reverse when `bothWays`; its words
  // lie in stageBytes.
  struct StagedPair {
    uint64_t head1, hash1, head2, hash2;
    uint32_t offset1, length1, offset2, length2;
    int32_t count;
    bool bothWays;
    uint32_t first, second;  // word numbers, set while the batch is counted
  };
  static constexpr size_t kBatch = 64;
  static constexpr size_t kStageBytes = size_t{16} << 10;

  // AddPair with both words' heads and hashes already taken.
  bool AddHashedPair(std::string_view word1, uint64_t head1, uint64_t hash1, std::string_view word2,
                     uint64_t head2, uint64_t hash2, int32_t count);
  // Makes table room for `pairs` more pairs and stages them (one, or the
  // two directions) when no staged pair can then reach the spill threshold.
  // False, with nothing staged, otherwise.
  bool Stage(std::string_view word1, uint64_t head1, uint64_t hash1, std::string_view word2,
             uint64_t head2, uint64_t hash2, int32_t count, size_t pairs);
  // Room in every table for the staged pairs and `pairs` more, each of two
  // new words; the first call of a period numbers the head's words first.
  void MakeRoom(size_t pairs);
  // The word's number; a new word is added (the table must have room).
  uint32_t InternWord(std::string_view word, uint64_t head, uint64_t hash);
  void GrowWordTable();
  // Numbers the words chosen for the head, from 0, at a period's start.
  void NumberHeadWords();
  bool InHead(uint32_t first, uint32_t second) const {
    return first < headWords && second < headWords;
  }
  size_t PairHome(uint64_t key) const;
  void GrowPairTable();
  void Prefetch(uint32_t first, uint32_t second) const;
  // Counts the pair in the head or in the pair table.
  void Count(uint32_t first, uint32_t second, int32_t count);
  void CountInTable(uint64_t key, int32_t count);
  // Counts the staged pairs, in the order they came; allocates nothing.
  void CountStaged();
  // Makes room, in the word byte blocks and the word list, for every staged
  // word and a pair of `pairBytes` about to be staged, so that counting them
  // allocates nothing.
  void ReserveForStaged(size_t pairBytes);
  // Starts a block of word bytes with room for at least `bytes`.
  void NewBlock(size_t bytes);
  char* StoreBytes(std::string_view word);

  // The steps of a spill, in order. RankWords gives the word numbers in byte
  // order and sets each word's rank. GatherPairs moves every held pair, the
  // head's too, to the front of the pair table and gives their number.
  // GroupByFirstWord distributes them by their first word's rank into the
  // free half behind them and gives where each group ends. ChooseHeadWords
  // keeps the words with the largest groups for the next period's head.
  // WriteGroups sorts each group by second word and writes its lines.
  std::vector<uint32_t> RankWords();
  size_t GatherPairs();
  std::vector<uint32_t> GroupByFirstWord(size_t n);
  void ChooseHeadWords(const std::vector<uint32_t>& order, const std::vector<uint32_t>& ends);
  void WriteGroups(text::TextWriter& out, const std::vector<uint32_t>& order,
                   const std::vector<uint32_t>& ends, size_t n);
  // Writes one pair-count line.
  static void WriteLine(text::TextWriter& out, const Word& first, const Word& second,
                        int64_t count);
  bool Spill();
  void ReleaseMemory();

  size_t spillAt;
  std::string directory;
  int32_t nextSpill = 1;
  size_t pairsHeld = 0;  // not counting the staged pairs

  StagedPair staged[kBatch];
  size_t stagedCount = 0;
  size_t stagedPairs = 0;  // two for a staged pair counted both ways
  char stageBytes[kStageBytes];
  size_t stageUsed = 0;

  // Word numbers, by hash.
  Table<WordSlot> wordSlots;
  size_t wordMask = 0;
  std::vector<Word> words;

  Table<PairSlot> pairSlots;
  size_t pairMask = 0;
  int pairShift = 64;

  // The head: the count of (first, second) at first * headWords + second,
  // valid where its bit in headHeld is set.
  uint32_t headWords;
  Table<int64_t> headCounts;
  std::vector<uint64_t> headHeld;
  // The next period's head words, end to end, and their lengths.
  std::string chosenBytes;
  std::vector<uint32_t> chosenLengths;

  // Word bytes, in blocks that never move; the last one is being filled.
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size;
  };
  std::vector<Block> blocks;
  size_t blockUsed = 0;
};

}  // namespace ulo::pairstat

#endif  // ULO_PAIRSTAT_PAIR_ACCUMULATOR_H_
