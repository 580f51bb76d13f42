#include "assoc/word_frequency_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ulo::assoc {
namespace {

constexpr uint32_t kSlots = WordFrequencyTable::kSlotCount;

TEST(WordHashTest, KnownValues) {
  struct Case {
    std::string word;
    uint32_t home;
  };
  const Case cases[] = {
      {"", 888813},                // no block, no tail: only the length and the mix
      {"a", 4124615},              // one tail byte
      {"\xB0\xA1", 1222595},       // bytes above 0x7F count as negative
      {"hello world!", 1430207},   // exactly one block, no tail
      {"hello world!x", 1918256},  // one block and one tail byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WordHash(c.word, kSlots), c.home) << c.word;
  }
  EXPECT_EQ(WordRehash("a", 4124615, kSlots), 3632697u);
  EXPECT_EQ(WordRehash("\xB0\xA1", 0, kSlots), 3871028u);
  EXPECT_EQ(WordRehash("hello world!", 1430207, kSlots), 2626296u);
}

// Sums, empty words and counts past 32 bits the statistics' tests show.
TEST(WordFrequencyTableTest, SumsSaturateInsteadOfWrapping) {
  WordFrequencyTable table(WordFrequencyTable::kSharedProbeLimit);
  table.AddWord("b", std::string_view("2147483648"));
  table.AddWord("b", INT64_MAX);
  EXPECT_EQ(table.FrequencyAt(table.FindWord("b")), INT64_MAX);
  EXPECT_EQ(table.total(), INT64_MAX);
}

TEST(WordFrequencyTableTest, EntriesInInsertionOrder) {
  WordFrequencyTable table(WordFrequencyTable::kRankerProbeLimit);
  const std::vector<std::string> words = {"\xBC\xD7", "b", "\xD2\xD2", "a", "hello world!x"};
  for (const std::string& word : words)
    table.AddWord(word, int64_t{1});
  table.AddWord("b", int64_t{1});
  ASSERT_EQ(table.entryCount(), 5);
  for (int32_t i = 0; i < table.entryCount(); ++i) {
    EXPECT_EQ(table.entry(i).word(), words[i]);
    EXPECT_EQ(table.entry(i).data()[words[i].size()], '\0');
  }
  int32_t slot = table.FindWord("a");
  EXPECT_EQ(table.WordAt(slot), "a");
  EXPECT_EQ(&table.EntryAt(slot), &table.entry(3));
}

TEST(WordFrequencyTableTest, StorageOnlyWhileInUse) {
  WordFrequencyTable table(WordFrequencyTable::kSharedProbeLimit);
  EXPECT_FALSE(table.holdsStorage());
  EXPECT_EQ(table.FindWord("a"), -1);
  table.Reset();
  EXPECT_FALSE(table.holdsStorage());

  table.AddWord("a", int64_t{2});
  table.AddWord("b", int64_t{3});
  EXPECT_TRUE(table.holdsStorage());
  table.Reset();  // empty, storage kept
  EXPECT_EQ(table.entryCount(), 0);
  EXPECT_EQ(table.total(), 0);
  EXPECT_EQ(table.FindWord("a"), -1);
  table.AddWord("b", int64_t{1});
  EXPECT_EQ(table.entryCount(), 1);
  EXPECT_EQ(table.FrequencyAt(table.FindWord("b")), 1);

  table.Clear();
  EXPECT_FALSE(table.holdsStorage());
  EXPECT_EQ(table.entryCount(), 0);
  EXPECT_EQ(table.total(), 0);
  EXPECT_EQ(table.FindWord("b"), -1);
  // Usable again after clearing.
  table.AddWord("c", int64_t{4});
  EXPECT_EQ(table.FrequencyAt(table.FindWord("c")), 4);
}

// Fills exactly the given slots with words that have them as home slots.
void FillSlots(WordFrequencyTable& table, const std::set<uint32_t>& wanted,
               const std::string& avoid) {
  std::map<uint32_t, std::string> filler;
  for (uint64_t i = 0; filler.size() < wanted.size(); ++i) {
    std::string word = "f" + std::to_string(i);
    uint32_t home = WordHash(word, table.slotCount());
    if (word != avoid && wanted.count(home) != 0) filler.emplace(home, word);
  }
  for (const auto& [slot, word] : filler) {
    ASSERT_TRUE(table.AddWord(word, int64_t{0}));
    ASSERT_EQ(table.FindWord(word), static_cast<int32_t>(slot));
  }
}

// The slots `word` may take: its home slot and `limit` + 1 re-hashed ones.
std::vector<uint32_t> ProbeSequence(const std::string& word, int32_t limit, uint32_t slotCount) {
  std::vector<uint32_t> sequence(1, WordHash(word, slotCount));
  for (int32_t k = 0; k <= limit; ++k)
    sequence.push_back(WordRehash(word, sequence.back(), slotCount));
  return sequence;
}

// With every slot of its sequence but the last taken, `word` goes to the
// last; with that one taken too, it is refused, its count still in the total.
void ExpectLastSlotDecides(const std::string& word, int32_t limit, uint32_t slotCount) {
  const std::vector<uint32_t> sequence = ProbeSequence(word, limit, slotCount);
  std::set<uint32_t> taken(sequence.begin(), sequence.end());
  taken.erase(sequence.back());
  WordFrequencyTable open(limit, slotCount);
  FillSlots(open, taken, word);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  EXPECT_TRUE(open.AddWord(word, int64_t{5}));
  EXPECT_EQ(open.FindWord(word), static_cast<int32_t>(sequence.back()));

  taken.insert(sequence.back());
  WordFrequencyTable full(limit, slotCount);
  FillSlots(full, taken, word);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  int32_t entries = full.entryCount();
  EXPECT_FALSE(full.AddWord(word, int64_t{5}));
  EXPECT_EQ(full.entryCount(), entries);
  EXPECT_EQ(full.total(), 5);
  EXPECT_EQ(full.FindWord(word), -1);
}

// Small limits, each with a word whose last allowed slot is not visited
// earlier in its sequence. (In a small table a word's slots repeat long
// before 500 probes.)
TEST(WordFrequencyTableTest, ProbeLimitBoundary) {
  for (int32_t limit : {0, 1, 7, 30}) {
    SCOPED_TRACE("probe limit " + std::to_string(limit));
    for (int i = 0;; ++i) {
      const std::string word = "w" + std::to_string(i);
      std::vector<uint32_t> sequence = ProbeSequence(word, limit, 4096);
      if (std::count(sequence.begin(), sequence.end(), sequence.back()) > 1) continue;
      ExpectLastSlotDecides(word, limit, 4096);
      break;
    }
  }
}

// With the real limits: a word whose whole probe sequence (which ends in a
// cycle) is taken is refused after the limit, not searched forever, and is
// stored once one slot of the cycle comes free.
TEST(WordFrequencyTableTest, RealLimitsEndTheSearch) {
  for (int32_t limit :
       {WordFrequencyTable::kSharedProbeLimit, WordFrequencyTable::kRankerProbeLimit}) {
    SCOPED_TRACE("probe limit " + std::to_string(limit));
    std::vector<uint32_t> sequence = ProbeSequence("\xB0\xA1", limit, 1024);
    ASSERT_LT(std::set<uint32_t>(sequence.begin(), sequence.end()).size(), 200u);
    ExpectLastSlotDecides("\xB0\xA1", limit, 1024);
  }
}

TEST(WordFrequencyTableTest, ManyWords) {
  // Enough words for collisions in a small table; every one is found again
  // with its own frequency.
  WordFrequencyTable table(WordFrequencyTable::kSharedProbeLimit, 1 << 14);
  for (int round = 1; round <= 2; ++round) {
    for (int i = 0; i < 3000; ++i)
      ASSERT_TRUE(table.AddWord("\xB0" + std::to_string(i), int64_t{i}));
  }
  EXPECT_EQ(table.entryCount(), 3000);
  std::set<int32_t> slots;
  for (int i = 0; i < 3000; ++i) {
    int32_t slot = table.FindWord("\xB0" + std::to_string(i));
    ASSERT_GE(slot, 0);
    EXPECT_EQ(table.FrequencyAt(slot), 2 * i);
    slots.insert(slot);
  }
  EXPECT_EQ(slots.size(), 3000u);
  EXPECT_EQ(table.total(), 2 * (2999 * 3000 / 2));
}

}  // namespace
}  // namespace ulo::assoc
