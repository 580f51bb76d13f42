#include "merge/merge_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "merge/loser_tree.h"
#include "merge/pass_plan.h"
#include "support/merge_oracle.h"

namespace ulo::merge {
namespace {

struct Parsed {
  bool ok;
  std::string word1, word2;
  int64_t count;
};

Parsed Parse(const std::string& line) {
  MergeRecord record;
  if (!ParseMergeLine(line, &record)) return {false, "", "", 0};
  EXPECT_EQ(record.Key(), std::string(record.Word1()) + "\t" + std::string(record.Word2()));
  return {true, std::string(record.Word1()), std::string(record.Word2()), record.count};
}

TEST(MergeLineTest, FieldsAreRunsOfNonTabBytes) {
  const Parsed kRefused{false, "", "", 0};
  struct Case {
    std::string line;
    Parsed expected;
  } cases[] = {
      {"a\tb\t3", {true, "a", "b", 3}},
      {"\xB0\xA1\t\xD2\xD2\t-7", {true, "\xB0\xA1", "\xD2\xD2", -7}},
      {"a\t\tb\t3", {true, "a", "b", 3}},  // a run of TABs is one divider
      {"\t\ta\tb\t\t3\textra", {true, "a", "b", 3}},
      {"a\tb\t 12x", {true, "a", "b", 12}},  // read as atoi reads it
      {"a\tb\tx", {true, "a", "b", 0}},
      {"a\tb\t \t5", {true, "a", "b", 0}},  // the third field is the blank
      {"a\tb\t+8", {true, "a", "b", 8}},
      {"a\tb\t4294967297", {true, "a", "b", 4294967297LL}},
      {"a\tb\t99999999999999999999", {true, "a", "b", INT64_MAX}},
      {"a\tb\t-99999999999999999999", {true, "a", "b", INT64_MIN}},
      {"a\tb\t12\r", {true, "a", "b", 12}},
      {"a\tb", kRefused},
      {"a\tb\t", kRefused},
      {"a\tb\t\t\t", kRefused},
      {"\t\t", kRefused},
      {"", kRefused},
      // A NUL ends the line, as it ends a C string.
      {std::string("a\0b\tc\t1", 7), kRefused},
      {std::string("a\tb\0c\t1", 7), kRefused},
      {std::string("a\tb\t\0001", 6), kRefused},
      {std::string("a\tb\t1\0002", 7), {true, "a", "b", 1}},
      {std::string("\ta\tb\0\t1", 7), kRefused},
  };
  for (const Case& c : cases) {
    Parsed got = Parse(c.line);
    SCOPED_TRACE(c.line);
    EXPECT_EQ(got.ok, c.expected.ok);
    if (!got.ok || !c.expected.ok) continue;
    EXPECT_EQ(got.word1, c.expected.word1);
    EXPECT_EQ(got.word2, c.expected.word2);
    EXPECT_EQ(got.count, c.expected.count);
  }
}

TEST(MergeKeyOrderTest, PrefixedComparisonAgreesWithWordOrder) {
  // Words around the 8- and 16-byte prefix edges, with bytes below and
  // above the TAB and GB2312 bytes.
  const std::string alphabet(
      "\x01\x08\x0A"
      "AZaz\x7F\x80\xB0\xA1\xFE\xFF",
      13);
  std::vector<std::string> words;
  uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<size_t>(state >> 33);
  };
  for (size_t length : {1, 2, 3, 7, 8, 9, 14, 15, 16, 17, 20}) {
    for (int i = 0; i < 6; ++i) {
      std::string word;
      for (size_t j = 0; j < length; ++j)
        word.push_back(alphabet[next() % alphabet.size()]);
      words.push_back(word);
      words.push_back(word.substr(0, length / 2 + 1));  // a prefix of it
    }
  }
  words.push_back("\xB0\xA1");
  words.push_back("\xB0\xA1\xB0");
  words.push_back("a");

  std::vector<std::pair<std::string, std::string>> keys;
  for (size_t i = 0; i < 400; ++i)
    keys.emplace_back(words[next() % words.size()], words[next() % words.size()]);
  // A key of the prefixes' 16 bytes and one that extends it: their length decides.
  keys.insert(keys.end(), {{"a", std::string(14, 'w')}, {"a", std::string(15, 'w')}});
  std::vector<MergeRecord> records(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    std::string line = keys[i].first + "\t" + keys[i].second + "\t1";
    ASSERT_TRUE(ParseMergeLine(line, &records[i]));
    records[i].scratch.assign(records[i].key, records[i].keyLength);  // outlive `line`
    records[i].key = records[i].scratch.data();
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    for (size_t j = 0; j < keys.size(); ++j) {
      int expected =
          oracle::KeyOrder(keys[i].first, keys[i].second, keys[j].first, keys[j].second);
      ASSERT_EQ(CompareRecordKeys(records[i], records[j]), expected) << i << " " << j;
      ASSERT_EQ(CompareKeys(records[i].Key(), records[j].Key()), expected) << i << " " << j;
    }
  }
}

TEST(MergeCountTest, SumsArePinnedAtTheRangeEnds) {
  EXPECT_EQ(AddCounts(2147483647, 1), 2147483648LL);
  EXPECT_EQ(AddCounts(INT64_MAX, 1), INT64_MAX);
  EXPECT_EQ(AddCounts(INT64_MIN, -1), INT64_MIN);
  EXPECT_EQ(AddCounts(-5, 3), -2);
}

using Lines = std::vector<std::vector<std::string>>;

// The tree alone, fed from lists of lines (leaf i reads leaves[i]; any further
// leaf is empty): each winner as its leaf and its key, until all run dry.
std::vector<std::pair<int, std::string>> Winners(int leafCount, const Lines& leaves) {
  LoserTree tree(leafCount);
  std::vector<size_t> next(leaves.size(), 0);
  auto load = [&](int leaf) {
    auto at = static_cast<size_t>(leaf);
    if (at >= leaves.size() || next[at] == leaves[at].size()) {
      return MarkExhausted(&tree.record(leaf));
    }
    ASSERT_TRUE(ParseMergeLine(leaves[at][next[at]++], &tree.record(leaf)));
  };
  tree.Clear();
  for (int leaf = 0; leaf < tree.leaves(); ++leaf)
    load(leaf);
  tree.Build();
  std::vector<std::pair<int, std::string>> winners;
  for (int w = tree.winner(); tree.record(w).state != MergeRecord::kExhausted; w = tree.winner()) {
    winners.emplace_back(w, std::string(tree.record(w).Key()));
    load(w);
    tree.Replay(w);
  }
  return winners;
}

// Every record comes out once, in key order, whatever the number of leaves
// and however many run dry early.
TEST(LoserTreeTest, WinnersComeInKeyOrder) {
  const std::string kOnes(17, '\xFF');
  const Lines cases[] = {
      {{"a\tb\t1", "b\ta\t1"}, {"a\tb\t2", "a\tc\t1"}},
      {{}, {"x\ty\t1"}, {}},
      {{"a\tb\t1"}, {}, {"a\tb\t1"}, {"a\tb\t1", "a\tb\t1", "z\tz\t1"}, {"\xB0\xA1\ta\t1"}},
      {{"a\tb\t1", "aa\tb\t1", "a\xFF\tb\t1"},
       {"a\tba\t1", "ab\t\x01\t1"},
       {"a\tbbbbbbbbbbbbbbbbbbbb\t1", "a\tbbbbbbbbbbbbbbbbbbbc\t1"}},
      // Keys whose prefix is all ones, as a dry input's is: the dry leaf
      // still loses.
      {{kOnes + "\tb\t1"}, {kOnes + "\tb\t1", kOnes + "\tc\t1"}},
  };
  for (const Lines& leaves : cases) {
    std::vector<std::string> merged, expected;
    for (const auto& winner : Winners(static_cast<int>(leaves.size()), leaves))
      merged.push_back(winner.second);
    for (const auto& lines : leaves) {
      for (const std::string& line : lines)
        expected.push_back(line.substr(0, line.rfind('\t')));
    }
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return CompareKeys(a, b) < 0; });
    EXPECT_EQ(merged, expected);
  }
}

// A merge of up to 8 files plays them in a tree of 2, 4 or 8 leaves rather
// than the fan-in's 20: equal keys must still come from the same leaves in
// the same order, since a sum that stops at its extremes depends on it.
TEST(LoserTreeTest, SmallGroupsWinInTheOrderOfTheFullTree) {
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    auto used = static_cast<size_t>(1 + round % 8);
    Lines leaves(used);
    for (auto& lines : leaves) {
      std::vector<std::string> keys;
      for (size_t n = random() % 12; n > 0; --n)
        keys.push_back(std::string(1, static_cast<char>('a' + random() % 3)) + "\t" +
                       static_cast<char>('a' + random() % 3));
      std::sort(keys.begin(), keys.end());
      for (const std::string& key : keys)
        lines.push_back(key + "\t1");
    }
    int small = used <= 2 ? 2 : used <= 4 ? 4 : 8;
    EXPECT_EQ(Winners(small, leaves), Winners(20, leaves)) << used << " inputs";
  }
}

TEST(PassPlanTest, PassesAreTheCeilingOfTheLogarithm) {
  struct Case {
    int64_t files;
    int fanIn;
    int passes;
  } cases[] = {
      {0, 20, 0},         {1, 20, 0},        {2, 20, 1},        {20, 20, 1},
      {21, 20, 2},        {400, 20, 2},      {401, 20, 3},      {8000, 20, 3},
      {8001, 20, 4},      {160000, 20, 4},   {160001, 20, 5},   {3200000, 20, 5},
      {3200001, 20, 6},   {64000000, 20, 6}, {64000001, 20, 7}, {2, 2, 1},
      {3, 2, 2},          {1024, 2, 10},     {1025, 2, 11},     {INT64_MAX, 20, 15},
      {INT64_MAX, 2, 63},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PassCount(c.files, c.fanIn), c.passes) << c.files << " files, fan-in " << c.fanIn;
}

}  // namespace
}  // namespace ulo::merge
