// The counting run as a host drives it, through the three exports.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::testing {
namespace {

namespace fs = std::filesystem;

std::set<std::string> FileNames(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

class CountingRunTest : public ::testing::Test {
 protected:
  void TearDown() override { ULO_Stat_AssociatedFreq_End(); }

  std::string Spill(int n) { return ReadAsLf(dir.Path("temp" + std::to_string(n) + ".txt")); }

  TempDir dir;
};

TEST_F(CountingRunTest, OneWayFlagTestsItsLowByteOnly) {
  struct Case {
    int32_t oneWay;
    const char* expected;
  };
  const Case cases[] = {
      {0, "a\tb\t2\nb\ta\t2\n"},   {1, "a\tb\t2\n"},     {255, "a\tb\t2\n"},
      {256, "a\tb\t2\nb\ta\t2\n"}, {0x1FF, "a\tb\t2\n"}, {-256, "a\tb\t2\nb\ta\t2\n"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(dir.path().c_str()), 1);
    EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "b", 2, c.oneWay), 1);
    ASSERT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
    EXPECT_EQ(Spill(1), c.expected) << "oneWay " << c.oneWay;
  }
}

TEST_F(CountingRunTest, RefusedCallsCountNothing) {
  // No run open: nothing to count into, and End has nothing to write.
  EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "b", 1, 1), 0);
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
  EXPECT_TRUE(FileNames(dir.path()).empty());

  ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(dir.path().c_str()), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq(nullptr, "b", 1, 0), 0);
  EXPECT_EQ(ULO_Stat_AssociatedFreq("a", nullptr, 1, 0), 0);
  EXPECT_EQ(ULO_Stat_AssociatedFreq("", "b", 1, 0), 0);
  EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "", 1, 1), 0);
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
  // Begin then End: one empty spill file.
  EXPECT_EQ(FileNames(dir.path()), std::set<std::string>{"temp1.txt"});
  EXPECT_EQ(Spill(1), "");
}

TEST_F(CountingRunTest, WorkingDirectoryLength) {
  // No directory, or an empty one that would put the spill files at the
  // root: refused.
  EXPECT_EQ(ULO_Stat_AssociatedFreq_Begin(nullptr), 0);
  EXPECT_EQ(ULO_Stat_AssociatedFreq_Begin(""), 0);
  // A directory path of exactly 255 bytes is taken; 256 bytes are refused.
  std::string path = dir.path();
  while (path.size() < 255) {
    size_t room = 255 - path.size() - 1;  // for a name after the separator
    size_t piece = room > 100 ? 100 : room;
    if (room == 101) piece = 99;  // never leave a single byte over
    path += "/" + std::string(piece, 'd');
  }
  ASSERT_EQ(path.size(), 255u);
  fs::create_directories(path);
  ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(path.c_str()), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "b", 1, 1), 1);
  // Refusing a directory leaves the open run as it was.
  for (const std::string& refused : {path + "x", std::string()}) {
    EXPECT_EQ(ULO_Stat_AssociatedFreq_Begin(refused.c_str()), 0);
    EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "b", 1, 1), 1);
  }
#if defined(_WIN32)
  // The system's ANSI file calls take paths of at most 259 bytes: the spill
  // file cannot be made there, and End says so.
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 0);
#else
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
  EXPECT_EQ(ReadAsLf(path + "/temp1.txt"), "a\tb\t3\n");
#endif
}

TEST_F(CountingRunTest, OverwritesEarlierSpillFilesOnly) {
  WriteFile(dir.Path("temp1.txt"), std::string(5000, 'x') + "\n");
  WriteFile(dir.Path("temp2.txt"), "q\tr\t9\n");
  WriteFile(dir.Path("notes.txt"), "keep\n");
  ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(dir.path().c_str()), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "b", 1, 1), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
  EXPECT_EQ(Spill(1), "a\tb\t1\n");
  EXPECT_EQ(Spill(2), "q\tr\t9\n");
  EXPECT_EQ(ReadFile(dir.Path("notes.txt")), "keep\n");
}

TEST_F(CountingRunTest, UnwritableDirectoryIsReported) {
  std::string missing = dir.Path("missing");
  ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(missing.c_str()), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "b", 1, 1), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 0);

  // The earlier run's last file fails: the new run is not opened.
  ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(missing.c_str()), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "b", 1, 1), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq_Begin(dir.path().c_str()), 0);
  EXPECT_EQ(ULO_Stat_AssociatedFreq("a", "b", 1, 1), 0);
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
  EXPECT_TRUE(FileNames(dir.path()).empty());
}

// 2048 GB2312 words, listed in byte order: 2048 x 2048 pairs are exactly the
// spill threshold.
std::vector<std::string> ThresholdWords() {
  std::vector<std::string> words;
  for (int i = 0; i < 2048; ++i) {
    words.push_back(
        std::string{static_cast<char>(0xB0 + i / 94), static_cast<char>(0xA1 + i % 94)});
  }
  return words;
}

// Every pair of ThresholdWords() with count 1, as a spill file lists them.
std::string AllPairsOnce(const std::vector<std::string>& words) {
  std::string text;
  text.reserve(size_t{2048} * 2048 * 8);
  for (const std::string& first : words) {
    for (const std::string& second : words) {
      text.append(first).append(1, '\t').append(second).append("\t1\n");
    }
  }
  return text;
}

// Feeds every pair of ThresholdWords() but `last` once, one way, with count
// 1, in a scrambled order.
void FeedAllPairsBut(const std::vector<std::string>& words, uint32_t last) {
  const uint32_t total = 2048 * 2048;
  for (uint32_t i = 0; i < total; ++i) {
    uint32_t p = (i * 2654435761u) & (total - 1);  // odd multiplier: a permutation
    if (p == last) continue;
    if (ULO_Stat_AssociatedFreq(words[p >> 11].c_str(), words[p & 2047].c_str(), 1, 1) != 1) {
      ADD_FAILURE() << "pair " << p << " refused";
      return;
    }
  }
}

TEST_F(CountingRunTest, SpillsAtExactlyTheThreshold) {
  auto words = ThresholdWords();
  const std::string all = AllPairsOnce(words);
  const uint32_t last = 5 << 11 | 9;  // the pair (words[5], words[9])

  ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(dir.path().c_str()), 1);
  FeedAllPairsBut(words, last);
  // One short of the threshold, and counting a known pair again: no spill.
  EXPECT_EQ(ULO_Stat_AssociatedFreq(words[9].c_str(), words[5].c_str(), 1, 1), 1);
  EXPECT_FALSE(FileExists(dir.Path("temp1.txt")));
  // The last new pair spills at once; the reverse direction of the same call,
  // counted before, starts the next period.
  EXPECT_EQ(ULO_Stat_AssociatedFreq(words[5].c_str(), words[9].c_str(), 1, 0), 1);
  ASSERT_TRUE(FileExists(dir.Path("temp1.txt")));
  std::string twice = words[9] + "\t" + words[5] + "\t";
  std::string expected = all;
  expected.replace(expected.find(twice + "1\n"), twice.size() + 2, twice + "2\n");
  EXPECT_TRUE(SameText(Spill(1), expected));
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
  EXPECT_EQ(Spill(2), twice + "1\n");

  // Exactly the threshold and nothing after it: the last file is empty.
  ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(dir.path().c_str()), 1);
  FeedAllPairsBut(words, last);
  EXPECT_EQ(ULO_Stat_AssociatedFreq(words[5].c_str(), words[9].c_str(), 1, 1), 1);
  EXPECT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
  EXPECT_TRUE(SameText(Spill(1), all));
  EXPECT_EQ(Spill(2), "");
  EXPECT_FALSE(FileExists(dir.Path("temp3.txt")));
}

}  // namespace
}  // namespace ulo::testing
