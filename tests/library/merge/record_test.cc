#include "merge/merge_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "merge/file_merger.h"
#include "merge/loser_tree.h"
#include "merge/pass_plan.h"
#include "merge/record_reader.h"
#include "support/memory_file.h"
#include "support/merge_oracle.h"
#include "support/test_support.h"
#include "text/pair_line.h"

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
      int expected = oracle::KeyOrder(keys[i].first, keys[i].second, keys[j].first, keys[j].second);
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

using ulo::testing::MakeDirectory;
using ulo::testing::ReadTextFile;
using ulo::testing::TempDir;
using ulo::testing::WriteFile;

using ChunkedFile = ulo::testing::MemoryFile;

struct Seen {
  std::string key;
  size_t word1Length;
  int64_t count;
  bool operator==(const Seen& o) const {
    return key == o.key && word1Length == o.word1Length && count == o.count;
  }
};

// The records as the merge read them before: LineReader, then ParseMergeLine.
std::vector<Seen> ReferenceRecords(const std::string& bytes) {
  std::vector<Seen> out;
  for (const oracle::MergeLine& line : oracle::MergeLines(bytes))
    out.push_back({line.word1 + "\t" + line.word2, line.word1.size(), line.count});
  return out;
}

std::string Formatted(const MergeRecord& record) {
  char digits[24];
  char* end = text::FormatDecimal(record.count, digits);
  return std::string(record.Key()) + "\t" + std::string(digits, end) + "\n";
}

// Every record, checking on the way that a verbatim record's line is what
// formatting it would write and that its prefix matches its key.
std::vector<Seen> ReaderRecords(const std::string& bytes, size_t chunk, size_t block,
                                RecordReader::Status* last = nullptr) {
  RecordReader reader(std::make_unique<ChunkedFile>(bytes, chunk), block);
  std::vector<Seen> out;
  MergeRecord record;
  RecordReader::Status status;
  while ((status = reader.Next(&record)) == RecordReader::Status::kRecord) {
    if (record.lineLength != 0) {
      EXPECT_EQ(std::string(record.key, record.lineLength), Formatted(record));
    }
    MergeRecord copy;
    copy.key = record.key;
    copy.keyLength = record.keyLength;
    copy.word1Length = record.word1Length;
    SetKeyPrefix(&copy);
    EXPECT_EQ(copy.prefix[0], record.prefix[0]);
    EXPECT_EQ(copy.prefix[1], record.prefix[1]);
    out.push_back({std::string(record.Key()), record.word1Length, record.count});
  }
  if (last != nullptr) *last = status;
  return out;
}

const char* const kAwkwardLines[] = {
    "a\tb\t1\n",
    "\xB0\xA1\t\xB0\xA2\t12345\n",
    "a\tb\t007\n",  // leading zeros: read as 7, written anew
    "a\tb\t0\n",
    "a\tb\t+5\n",  // sign
    "a\tb\t-5\n",
    "a\tb\t 5\n",                       // blank before the digits
    "a\tb\t12345678901234567890123\n",  // beyond 64 bits: pinned
    "a\tb\t123456789012345678\n",       // 18 digits
    "a\tb\t1234567890123456789\n",      // 19 digits
    "a\tb\t5x\n",
    "a\tb\t5\tmore\n",  // a fourth field
    "a\t\tb\t\t5\n",    // runs of TABs
    "\ta\tb\t5\n",      // a leading TAB
    "a\tb\t5\r\n",      // CR LF
    "a\rb\tc\t5\n",     // CR inside a word
    "a\tb\t5\r\r\n",
    "a\0b\tc\t5\n",  // a NUL ends the line for the parser
    "a\tb\0\t5\n",
    "a\tb\n",  // two fields: skipped
    "\n",
    "\r\n",
    "a\tb\t\n",
    "abcdefghijklmnop\tqrstuvwxyzABCDEF\t99\n",  // beyond one 32-byte load
    "abcdefghijklmno\tp\t3\n",                   // a key of exactly 16 bytes
    "abcdefghijklmnopqrstuvwxyz0123456789\tx\t4\n",
};

TEST(RecordReaderTest, ReadsEveryLineAsLineReaderAndTheParserDo) {
  // Each line after a usual one, so that they fall at every offset of the
  // reader's blocks; the literals with a NUL are added whole below.
  std::string bytes;
  for (const char* line : kAwkwardLines)
    bytes += std::string("x\ty\t1\n") + line;
  bytes += std::string("a\0b\tc\t5\n", 8) + std::string("a\tb\0\t5\n", 7);
  bytes += "last\tline\t8";  // no LF at the end
  std::vector<Seen> want = ReferenceRecords(bytes);
  ASSERT_GT(want.size(), 20u);
  for (size_t chunk : {size_t{1}, size_t{3}, size_t{7}, size_t{64}, SIZE_MAX}) {
    for (size_t block : {size_t{64}, size_t{100}, size_t{1} << 16}) {
      SCOPED_TRACE("chunk " + std::to_string(chunk) + " block " + std::to_string(block));
      EXPECT_EQ(ReaderRecords(bytes, chunk, block), want);
    }
  }
}

TEST(RecordReaderTest, ReadErrorEndsTheRecordsAfterTheCompleteOnes) {
  std::string bytes = "a\tb\t1\nc\td\t2\ne\tf\t3\n";
  RecordReader reader(std::make_unique<ChunkedFile>(bytes, 4, 14), 64);
  MergeRecord record;
  std::vector<std::string> keys;
  RecordReader::Status status;
  while ((status = reader.Next(&record)) == RecordReader::Status::kRecord)
    keys.emplace_back(record.Key());
  EXPECT_EQ(status, RecordReader::Status::kError);
  EXPECT_EQ(keys, (std::vector<std::string>{"a\tb", "c\td"}));
  EXPECT_EQ(reader.Next(&record), RecordReader::Status::kError);
}

// The merged file as summing every input record per key, in key order, and
// writing each key once gives it.
std::string ReferenceMerge(const std::vector<std::string>& files) {
  struct Less {
    bool operator()(const std::string& a, const std::string& b) const {
      return CompareKeys(a, b) < 0;
    }
  };
  std::map<std::string, std::pair<size_t, int64_t>, Less> sums;
  for (const std::string& bytes : files) {
    for (const Seen& r : ReferenceRecords(bytes)) {
      auto& entry = sums.emplace(r.key, std::make_pair(r.word1Length, int64_t{0})).first->second;
      entry.second = AddCounts(entry.second, r.count);
    }
  }
  std::string out;
  for (const auto& [key, value] : sums) {
    char digits[24];
    out += key + "\t" + std::string(digits, text::FormatDecimal(value.second, digits)) + "\n";
  }
  return out;
}

TEST(RecordReaderTest, MergeCopiesSoleLinesAndWritesSumsAnew) {
  TempDir dir;
  std::string long1(300 << 10, 'k');  // beyond the output's buffer
  std::vector<std::string> files = {
      "a\tb\t1\na\tb\t2\nabcdefghijklmnop\tq\t5\nb\tc\t007\nc\td\t9\n" + long1 + "\tz\t1\n",
      "a\tb\t3\nabcdefghijklmnop\tr\t6\nb\tc\t1\nc\td\t+4\ncc\td\t1\n" + long1 + "\tz\t2\n",
      "a\t\tb\t10\nabcdefghijklmno\tp\t1\nb\tc\t5\r\nd\te\t123456789012345678\nd\te\t1\n",
      "abcdefghijklmnop\tq\t1\nx\ty\t12345678901234567890\ny\tz\t-3",
  };
  std::string source = dir.path() + "/in";
  MakeDirectory(source);
  for (size_t i = 0; i < files.size(); ++i)
    WriteFile(source + "/f" + std::to_string(i), files[i]);
  for (int fanIn : {2, 20}) {
    FileMerger merger(fanIn);
    std::string out = dir.path() + "/out" + std::to_string(fanIn) + ".txt";
    ASSERT_EQ(merger.MergeFiles(source.c_str(), out.c_str()), 0);
    EXPECT_EQ(ReadTextFile(out), ReferenceMerge(files)) << "fan-in " << fanIn;
  }
}

}  // namespace
}  // namespace ulo::merge
