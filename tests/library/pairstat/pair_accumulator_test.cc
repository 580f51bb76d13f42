#include "pairstat/pair_accumulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/env.h"
#include "support/fault_env.h"
#include "support/test_support.h"

namespace ulo::pairstat {
namespace {

using testing::FaultEnv;

// The pair counter the accumulator must agree with: two ordered maps, whose
// std::string keys compare as unsigned bytes.
using Reference = std::map<std::string, std::map<std::string, int64_t>>;

std::string Render(const Reference& pairs) {
  std::string text;
  for (const auto& [first, seconds] : pairs) {
    for (const auto& [second, count] : seconds)
      text += first + "\t" + second + "\t" + std::to_string(count) + "\n";
  }
  return text;
}

// The pairs as the accumulator must count them: one Reference per period
// between spills, a period ending with its `threshold`th distinct pair.
class Periods {
 public:
  explicit Periods(size_t threshold) : threshold(threshold) {}
  void Count(const std::string& a, const std::string& b, int32_t n) {
    auto& seconds = maps.back()[a];
    distinct += seconds.count(b) == 0;
    seconds[b] += n;
    if (distinct < threshold) return;
    maps.emplace_back();
    distinct = 0;
  }

  std::vector<Reference> maps{1};
  size_t distinct = 0;

 private:
  size_t threshold;
};

// `count` words of each length, of bytes drawn from `alphabet`.
std::vector<std::string> RandomWords(std::mt19937& random, const std::vector<size_t>& lengths,
                                     int count, const std::string& alphabet) {
  std::vector<std::string> words;
  for (size_t length : lengths) {
    for (int i = 0; i < count; ++i) {
      std::string word(length, ' ');
      for (char& c : word)
        c = alphabet[random() % alphabet.size()];
      words.push_back(word);
    }
  }
  return words;
}

// A word of `words`, the first ones far more often than the last.
const std::string& Frequent(std::mt19937& random, const std::vector<std::string>& words) {
  return words[random() % (1 + random() % words.size())];
}

std::string Spill(const testing::TempDir& in, int n) {
  return testing::ReadAsLf(in.Path("temp" + std::to_string(n) + ".txt"));
}

struct Fed {
  const std::string* a;
  const std::string* b;
  int32_t count;
};

class PairAccumulatorTest : public ::testing::Test {
 protected:
  std::string Spill(int n) { return pairstat::Spill(dir, n); }

  testing::TempDir dir;
};

TEST_F(PairAccumulatorTest, SpillIsSortedByFirstThenSecondWord) {
  // In byte order. The long words share their first 8 bytes or more, so
  // their order is decided past the cached prefix.
  std::vector<std::string> sorted;
  std::istringstream words(
      "A B Z a ab abc b prefix12 prefix123 prefix12345678a prefix12345678ab prefix12345678b "
      "\x7F \xB0\xA1 \xB0\xA1\xB0\xA2 \xB0\xA2 \xD2\xD2");
  for (std::string word; words >> word;)
    sorted.push_back(word);
  ASSERT_EQ(sorted.size(), 17u);
  PairAccumulator accumulator;
  ASSERT_TRUE(accumulator.Start(dir.path().c_str()));
  // Every ordered pair, fed in a scrambled order.
  std::vector<std::pair<size_t, size_t>> feed;
  for (size_t i = 0; i < sorted.size(); ++i) {
    for (size_t j = 0; j < sorted.size(); ++j)
      feed.emplace_back(i, j);
  }
  std::shuffle(feed.begin(), feed.end(), std::mt19937(7));
  for (auto [i, j] : feed)
    ASSERT_TRUE(accumulator.AddPair(sorted[i], sorted[j], static_cast<int32_t>(i * 100 + j)));
  EXPECT_EQ(accumulator.pairCount(), static_cast<int32_t>(feed.size()));
  ASSERT_TRUE(accumulator.Finish());

  std::string expected;
  for (size_t i = 0; i < sorted.size(); ++i) {
    for (size_t j = 0; j < sorted.size(); ++j)
      expected += sorted[i] + "\t" + sorted[j] + "\t" + std::to_string(i * 100 + j) + "\n";
  }
  EXPECT_EQ(Spill(1), expected);
}

TEST_F(PairAccumulatorTest, LargeGroupsAreSortedLikeSmallOnes) {
  // A frequent first word meets tens of thousands of second words, whose
  // ranks spread over more than one radix digit; rarer first words keep
  // groups of every size below and around that.
  std::mt19937 random(777);
  std::vector<std::string> seconds;
  for (int i = 0; i < 30000; ++i)
    seconds.push_back(std::to_string(random() % 1000000) + "\xB0" + std::to_string(i % 7));
  std::shuffle(seconds.begin(), seconds.end(), random);
  PairAccumulator accumulator;
  ASSERT_TRUE(accumulator.Start(dir.path().c_str()));
  Reference expected;
  const std::vector<std::string> firsts = {"the", "of", "a\xFF", "zebra"};
  const size_t sizes[] = {30000, 2600, 513, 40};
  for (size_t f = 0; f < firsts.size(); ++f) {
    for (size_t i = 0; i < sizes[f]; ++i) {
      const std::string& second = seconds[(i * 7919 + f) % seconds.size()];
      expected[firsts[f]][second] += 1;
      ASSERT_TRUE(accumulator.AddPair(firsts[f], second, 1));
    }
  }
  ASSERT_TRUE(accumulator.Finish());
  EXPECT_TRUE(testing::SameText(Spill(1), Render(expected)));
}

// Feeds `feed` to an accumulator: each spill must come with the call that
// adds its period's last pair and hold that period's pairs, one way or both.
// Asking for pairCount after every call counts each pair on its own; not
// asking lets whole batches build up.
void ExpectPeriods(const std::vector<Fed>& feed, int32_t threshold, uint32_t head, bool bothWays,
                   bool askPairCount) {
  testing::TempDir work;
  PairAccumulator accumulator(threshold, head);
  ASSERT_TRUE(accumulator.Start(work.path().c_str()));
  Periods periods(threshold);
  for (size_t i = 0; i < feed.size(); ++i) {
    const Fed& f = feed[i];
    periods.Count(*f.a, *f.b, f.count);
    if (bothWays) periods.Count(*f.b, *f.a, f.count);
    ASSERT_TRUE(bothWays ? accumulator.AddPairBothWays(*f.a, *f.b, f.count)
                         : accumulator.AddPair(*f.a, *f.b, f.count));
    ASSERT_EQ(accumulator.spillNumber(), static_cast<int32_t>(periods.maps.size())) << "pair " << i;
    if (askPairCount) {
      ASSERT_EQ(accumulator.pairCount(), static_cast<int32_t>(periods.distinct)) << "pair " << i;
    }
  }
  ASSERT_GE(periods.maps.size(), 3u);
  ASSERT_TRUE(accumulator.Finish());
  for (size_t p = 0; p < periods.maps.size(); ++p) {
    ASSERT_TRUE(testing::SameText(Spill(work, static_cast<int>(p + 1)), Render(periods.maps[p])))
        << "temp" << p + 1;
  }
  EXPECT_FALSE(
      testing::FileExists(work.Path("temp" + std::to_string(periods.maps.size() + 1) + ".txt")));
}

TEST_F(PairAccumulatorTest, SpillsHoldTheOrderedMapsOfTheirPeriods) {
  std::mt19937 random(12345);
  auto words = [&](int count, size_t longest, const std::string& alphabet) {
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i)
      list.push_back(RandomWords(random, {1 + random() % longest}, 1, alphabet)[0]);
    return list;
  };
  // Words over small alphabets share long prefixes.
  const std::vector<std::string> many = words(3000, 20, "aAb\xB0\xA1\xD2\xFF");
  const std::vector<std::string> few = words(400, 12, "ab\xB0\xA1\xFF");
  // Lengths straddle the 8- and 16-byte steps of the word table and of the
  // spill lines; pairs of the 3000-byte words fill the staging room before a
  // batch is full, and the longest words do not fit it at all.
  std::vector<std::string> steps =
      RandomWords(random, {1, 2, 7, 8, 9, 15, 16, 17, 33, 3000}, 40, "ab\xB0\xA1\xD2\xFF");
  steps.push_back(std::string(20000, '\xB0'));
  steps.push_back(std::string(20000, '\xB0') + "\xA1");
  struct Case {
    const std::vector<std::string>* words;
    int pairs;
    int32_t threshold;
    uint32_t head = kHeadWords;
    bool bothWays = false;
    bool askPairCount = false;
  };
  std::vector<Case> cases = {{&many, 150000, 40000, kHeadWords, false, true}};
  for (int32_t threshold : {1, 63, 64, 65, 1000, 5000})
    cases.push_back({&steps, std::min(30000, threshold * 20 + 200), threshold});
  // Spills that fall between the two directions of one call.
  for (int32_t threshold : {1, 2, 63, 101})
    cases.push_back({&few, threshold <= 2 ? 100 : 3000, threshold, kHeadWords, true});
  // The head's words are chosen anew for every period, so pairs of frequent
  // words move in and out of it; sizes 1 and 7 put a word on either side of
  // its edge.
  for (uint32_t head : {0u, 1u, 7u, 64u, kHeadWords}) {
    for (bool bothWays : {false, true})
      cases.push_back({&few, 12000, 700, head, bothWays});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "threshold " << c.threshold << ", head " << c.head
                                      << (c.bothWays ? ", both ways" : ""));
    std::vector<Fed> feed;
    for (int i = 0; i < c.pairs; ++i) {
      const std::string* a = &Frequent(random, *c.words);
      feed.push_back({a, &Frequent(random, *c.words), static_cast<int32_t>(random() % 7) - 2});
    }
    ExpectPeriods(feed, c.threshold, c.head, c.bothWays, c.askPairCount);
  }
}

TEST_F(PairAccumulatorTest, WordsEndingABlockAreWrittenExactly) {
  // Word bytes are kept in blocks of 1 MiB. Pairs of two new 8-byte words,
  // each counted at once (pairCount counts what is staged), fill a block to
  // its last byte; spill lines copy short words in fixed 16-byte moves,
  // which must stay inside what was allocated.
  const uint32_t pairs = 80000;
  auto word = [](uint32_t i) {
    char bytes[9];
    std::snprintf(bytes, sizeof bytes, "%08u", i * 7919u % 1000003u);
    return std::string(bytes);
  };
  PairAccumulator accumulator;
  ASSERT_TRUE(accumulator.Start(dir.path().c_str()));
  Reference expected;
  for (uint32_t i = 0; i < pairs; ++i) {
    ASSERT_TRUE(accumulator.AddPair(word(2 * i), word(2 * i + 1), 1));
    ASSERT_EQ(accumulator.pairCount(), static_cast<int32_t>(i + 1));
    expected[word(2 * i)][word(2 * i + 1)] = 1;
  }
  ASSERT_TRUE(accumulator.Finish());
  EXPECT_TRUE(testing::SameText(Spill(1), Render(expected)));
}

TEST_F(PairAccumulatorTest, CountsAreHeldInSixtyFourBits) {
  PairAccumulator accumulator;
  ASSERT_TRUE(accumulator.Start(dir.path().c_str()));
  for (int i = 0; i < 3; ++i) {
    accumulator.AddPair("big", "x", INT32_MAX);
    accumulator.AddPair("small", "x", INT32_MIN);
  }
  accumulator.AddPair("zero", "x", 0);
  accumulator.AddPair("mixed", "x", -7);
  accumulator.AddPair("mixed", "x", 3);
  ASSERT_TRUE(accumulator.Finish());
  EXPECT_EQ(Spill(1),
            "big\tx\t6442450941\n"
            "mixed\tx\t-4\n"
            "small\tx\t-6442450944\n"
            "zero\tx\t0\n");
}

// A spill file that cannot be stored: no cut file is left, the call that
// caused it says so, and counting goes on.
TEST(SpillFailureTest, SpillThatCannotBeStoredIsReported) {
  const struct {
    const char* what;
    FaultEnv::Match FaultEnv::*fault;
  } cases[] = {{"create", &FaultEnv::failOpenWrite},
               {"write", &FaultEnv::failWrite},
               {"close", &FaultEnv::failClose}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir work;
    PairAccumulator accumulator(2);
    ASSERT_TRUE(accumulator.Start(work.path().c_str()));
    EXPECT_TRUE(accumulator.AddPair("a", "b", 1));
    {
      FaultEnv failing;
      failing.*c.fault = FaultEnv::Always();
      EXPECT_FALSE(accumulator.AddPair("a", "c", 1));
    }
    // No cut file is left behind; the pairs are gone and numbering goes on.
    EXPECT_FALSE(testing::FileExists(work.Path("temp1.txt")));
    EXPECT_EQ(accumulator.pairCount(), 0);
    EXPECT_TRUE(accumulator.AddPair("c", "d", 1));
    EXPECT_TRUE(accumulator.Finish());
    EXPECT_EQ(Spill(work, 2), "c\td\t1\n");

    // Finish reports its own file likewise.
    PairAccumulator last;
    ASSERT_TRUE(last.Start(work.path().c_str()));
    last.AddPair("e", "f", 1);
    FaultEnv failing;
    failing.*c.fault = FaultEnv::Always();
    EXPECT_FALSE(last.Finish());
    EXPECT_FALSE(testing::FileExists(work.Path("temp1.txt")));
  }
}

TEST(SpillFailureTest, FailedSpillIsReportedByTheCallThatCausedIt) {
  // With a threshold far above a batch, most pairs before the spill are
  // staged; still only the call that adds the last new pair reports it.
  const int32_t threshold = 300;
  for (int repeats : {0, 3}) {
    SCOPED_TRACE(repeats);
    testing::TempDir work;
    PairAccumulator accumulator(threshold);
    ASSERT_TRUE(accumulator.Start(work.path().c_str()));
    for (int32_t i = 0; i + 1 < threshold; ++i) {
      // Known pairs in between never spill.
      for (int r = 0; r <= repeats; ++r)
        ASSERT_TRUE(accumulator.AddPair("w" + std::to_string(i), "x", 1));
    }
    {
      FaultEnv failing;
      failing.failWrite = FaultEnv::Always();
      EXPECT_TRUE(accumulator.AddPair("w0", "x", 1));
      EXPECT_FALSE(accumulator.AddPair("last", "x", 1));
    }
    EXPECT_FALSE(testing::FileExists(work.Path("temp1.txt")));
    EXPECT_TRUE(accumulator.AddPair("after", "x", 2));
    EXPECT_TRUE(accumulator.Finish());
    EXPECT_EQ(Spill(work, 2), "after\tx\t2\n");
  }
}

}  // namespace
}  // namespace ulo::pairstat
