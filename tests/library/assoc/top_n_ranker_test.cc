#include "assoc/top_n_ranker.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "assoc/pair_filter.h"
#include "assoc/support_records.h"
#include "assoc/word_frequency_table.h"
#include "platform/env.h"
#include "support/fault_env.h"
#include "support/random_pairs.h"
#include "support/statistics_oracle.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::assoc {
namespace {

class TopNRankerTest : public ::testing::Test {
 protected:
  // Ranks `input` as the export does; the top-N file's bytes.
  std::string Rank(const std::string& input, int32_t n) {
    testing::WriteFile(in(), input);
    EXPECT_TRUE(GetTopNWordSupport(in().c_str(), out().c_str(), n));
    return testing::ReadAsLf(out());
  }

  std::string in() const { return dir.Path("in.txt"); }
  std::string out() const { return dir.Path("out.txt"); }

  testing::TempDir dir;
};

TEST_F(TopNRankerTest, RankedSmallFiles) {
  const std::string jia = "\xBC\xD7", yi = "\xD2\xD2", bing = "\xB1\xFB";
  const std::string w63(63, 'w'), w64(64, 'w');
  const std::string ab = "a\tb\t100.00\t50.00\nb\ta\t100.00\t50.00\n";
  const struct {
    const char* what;
    std::string input;
    int32_t n;
    std::string ranked;
  } cases[] = {
      {"one pair, N 1", "a\tb\t10\n", 1, ab},
      {"one pair, N 2", "a\tb\t10\n", 2, ab},
      {"one pair, N 1000", "a\tb\t10\n", 1000, ab},
      {"empty file", "", 10, ""},
      {"two pairs", "a\tb\t1\na\td\t3\n", 2,
       "a\td\t75.00\t37.50\na\tb\t25.00\t12.50\nb\ta\t100.00\t12.50\nd\ta\t100.00\t37.50\n"},
      // The later, better candidate d displaces b.
      {"displaced", "a\tb\t1\na\td\t3\n", 1,
       "a\td\t75.00\t37.50\nb\ta\t100.00\t12.50\nd\ta\t100.00\t37.50\n"},
      // Equal confidences keep their order of arrival.
      {"ties, N 2", "a\tb\t2\na\te\t2\n", 2,
       "a\tb\t50.00\t25.00\na\te\t50.00\t25.00\nb\ta\t100.00\t25.00\ne\ta\t100.00\t25.00\n"},
      {"ties, N 1", "a\tb\t2\na\te\t2\n", 1,
       "a\tb\t50.00\t25.00\nb\ta\t100.00\t25.00\ne\ta\t100.00\t25.00\n"},
      // 333333 and 666666 millionths, written with two decimals.
      {"thirds", "a\tb\t1\na\tc\t2\n", 2,
       "a\tc\t66.67\t33.33\na\tb\t33.33\t16.67\nb\ta\t100.00\t16.67\nc\ta\t100.00\t33.33\n"},
      {"equal words, N 2", "x\tx\t3\n", 2, "x\tx\t50.00\t50.00\nx\tx\t50.00\t50.00\n"},
      {"equal words, N 1", "x\tx\t3\n", 1, "x\tx\t50.00\t50.00\n"},
      // Groups follow the words' first appearance, word1 before word2.
      {"group order", yi + "\t" + jia + "\t1\n" + bing + "\t" + yi + "\t1\n", 5,
       yi + "\t" + jia + "\t50.00\t25.00\n" + yi + "\t" + bing + "\t50.00\t25.00\n" + jia + "\t" +
           yi + "\t100.00\t25.00\n" + bing + "\t" + yi + "\t100.00\t25.00\n"},
      // 2.5 counts 2 in the first pass and 2.5 in the second.
      {"fraction", "a\tb\t2.5\n", 3, "a\tb\t125.00\t62.50\nb\ta\t125.00\t62.50\n"},
      // Lines without two TABs are skipped, the rest is read up to a third TAB.
      {"line shapes", "ab\na\tb\nc\td\t4\tx\n\n", 3, "c\td\t100.00\t50.00\nd\tc\t100.00\t50.00\n"},
      {"CR LF", "a\tb\t4\r\n", 3, ab},
      // a's confidence towards c is -1 millionth: a real item, written.
      {"score of minus one", "a\tb\t666668\na\tc\t-1\n", 2,
       "a\tb\t100.00\t50.00\na\tc\t-0.00\t0.00\nb\ta\t100.00\t50.00\nc\ta\t100.00\t0.00\n"},
      {"scores beyond 32 bits are clamped", "a\tb\t3000\na\tc\t-2999\n", 2,
       "a\tb\t214748.36\t150000.00\na\tc\t-214748.36\t-149950.00\n"
       "b\ta\t100.00\t150000.00\nc\ta\t100.00\t-149950.00\n"},
      // a's counts sum to 0, and so does the total: infinite scores.
      {"infinite scores", "a\tb\t5\na\tc\t-5\n", 2,
       "a\tb\t214748.36\t214748.36\na\tc\t-214748.36\t-214748.36\n"
       "b\ta\t100.00\t214748.36\nc\ta\t100.00\t-214748.36\n"},
      {"zero count", "a\tb\t0\n", 2, "a\tb\t0.00\t0.00\nb\ta\t0.00\t0.00\n"},
      {"counts sum past 32 bits", "a\tb\t3000000000\na\tc\t1000000000\n", 2,
       "a\tb\t75.00\t37.50\na\tc\t25.00\t12.50\nb\ta\t100.00\t37.50\nc\ta\t100.00\t12.50\n"},
      // Lines past the limits are refused whole in both passes.
      {"limits",
       w64 + "\tb\t5\n" +                                     // word1 too long
           "a\t" + w64 + "\t5\n" +                            // word2 too long
           "a\tb\t5" + std::string(30, ' ') + "\n" +          // rest of 32
           w63 + "\tb\t1" + std::string(29, ' ') + "\n" +     // rest of 31
           "x\ty\t1" + std::string(600, '\t') + "a\tb\t7\n",  // far too long
       5, w63 + "\tb\t100.00\t50.00\nb\t" + w63 + "\t100.00\t50.00\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Rank(c.input, c.n), c.ranked);
  }
}

TEST_F(TopNRankerTest, ListLengthBelowOneWritesNothing) {
  testing::WriteFile(in(), "a\tb\t1\n");
  for (int32_t n : {0, -1, std::numeric_limits<int32_t>::min()}) {
    EXPECT_FALSE(GetTopNWordSupport(in().c_str(), out().c_str(), n)) << n;
    EXPECT_FALSE(testing::FileExists(out()));
  }
  // An existing output stays as it was.
  testing::WriteFile(out(), "before");
  EXPECT_FALSE(GetTopNWordSupport(in().c_str(), out().c_str(), 0));
  EXPECT_EQ(testing::ReadFile(out()), "before");
}

TEST(TopNListTest, MatchesTheFixedArrayModel) {
  std::mt19937 random(7);
  for (int32_t n : {1, 2, 3, 5, 16, 17, 40, 100}) {
    TopNRanker ranker(1024);
    ranker.setListLength(n);
    std::vector<int32_t> slots;
    for (int i = 0; i < 30; ++i) {
      ranker.table().AddWord("w" + std::to_string(i), int64_t{1});
      slots.push_back(ranker.table().FindWord("w" + std::to_string(i)));
    }
    std::vector<std::vector<TopNItem>> model(slots.size(), std::vector<TopNItem>(n, {-1, -1, -1}));
    for (int offer = 0; offer < 4000; ++offer) {
      size_t base = random() % slots.size();
      // Few distinct confidences, negative ones and -1 among them: many ties.
      TopNItem item{slots[random() % slots.size()], static_cast<int32_t>(random() % 13) - 4, offer};
      ranker.OfferCandidateTo(ranker.table().slotEntry(slots[base]), item.other, item.confidence,
                              item.support);
      oracle::ModelOffer(model[base], item);
    }
    for (size_t w = 0; w < slots.size(); ++w) {
      const TopList& list = ranker.table().ListOf(ranker.table().slotEntry(slots[w]));
      std::vector<TopNItem> expected;
      for (const TopNItem& item : model[w]) {
        if (item.other != -1) expected.push_back(item);
      }
      ASSERT_EQ(static_cast<size_t>(list.size), expected.size()) << "N " << n;
      for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(list.items[k].other, expected[k].other);
        EXPECT_EQ(list.items[k].confidence, expected[k].confidence);
        EXPECT_EQ(list.items[k].support, expected[k].support) << "N " << n << " item " << k;
      }
    }
  }
}

TEST_F(TopNRankerTest, ManyLinesMatchLineByLineWork) {
  std::mt19937 random(5);
  for (uint32_t slotCount : {WordFrequencyTable::kSlotCount, 8u}) {
    for (int32_t n : {1, 3, 17}) {
      testing::PairFileShape shape;
      shape.runs = 150;
      shape.oddLineOneIn = 25;
      shape.noTabLines = false;
      shape.overLongWord = 70;
      shape.lowestCount = -4;
      shape.countSpan = 30;
      shape.halfCounts = false;
      const std::string input = testing::RandomPairFile(random, testing::Vocabulary(), shape);
      testing::WriteFile(in(), input);
      std::string expectedMessages;
      const std::string expected = oracle::TopNOf(input, slotCount, n, &expectedMessages);
      TopNRanker ranker(slotCount);
      ranker.table().Reset();
      ::testing::internal::CaptureStdout();
      EXPECT_TRUE(ranker.RankFile(in().c_str(), out().c_str(), n));
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), expectedMessages);
      EXPECT_EQ(testing::ReadAsLf(out()), expected) << "slots " << slotCount << " N " << n;
      // Refused words, and candidates missing a word, were met.
      EXPECT_TRUE(slotCount != 8 || !expectedMessages.empty());
      ranker.table().Clear();
    }
  }
}

// What the three statistics operations share: refused or missing files,
// failed reads, an output that names the input, a full device; each through
// its operation and through its export.
struct Operation {
  const char* name;
  std::function<bool(const char*, const char*)> run, viaExport;  // (input, output)
  int passes;                                                    // over the input
  bool writesOutputFirst;                                        // before it reads the input
  bool refusesItsInputAsOutput;
};

const Operation kOperations[] = {
    {"filter", [](const char* in, const char* out) { return FilterPairs(in, out, 2); },
     [](const char* in, const char* out) { return ULO_Filtrate(in, out, 2) == 1; }, 1, true, true},
    {"support records",
     [](const char* in, const char* out) { return WriteWordSupportRecords(in, out); },
     [](const char* in, const char* out) { return ULO_GetWordSupportRec(in, out) == 1; }, 2, true,
     true},
    // The ranking reads its input whole before it writes.
    {"top-N", [](const char* in, const char* out) { return GetTopNWordSupport(in, out, 3); },
     [](const char* in, const char* out) { return ULO_GetTopNWordSupportRec(in, out, 3) == 1; }, 2,
     false, false},
};

TEST(StatisticsFilesTest, RefusedMissingAndUnwritableFiles) {
  const std::string input = "a\tb\t1\nc\td\t2\n";
  const std::string sep(1, platform::kPathSeparator);
  for (const Operation& op : kOperations) {
    SCOPED_TRACE(op.name);
    testing::TempDir dir;
    const std::string in = dir.Path("in.txt"), out = dir.Path("out.txt");
    testing::WriteFile(in, input);
    for (const auto& run : {op.run, op.viaExport}) {
      EXPECT_FALSE(run(nullptr, out.c_str()));
      EXPECT_FALSE(run(in.c_str(), nullptr));
      EXPECT_FALSE(testing::FileExists(out));
    }
    EXPECT_FALSE(op.run(dir.Path("missing.txt").c_str(), out.c_str()));
    EXPECT_EQ(testing::FileExists(out), op.writesOutputFirst);
    EXPECT_EQ(testing::ReadFile(out), "");
    EXPECT_FALSE(op.run(in.c_str(), dir.Path("no/such/out.txt").c_str()));
    // A read failing in any pass, after the first bytes.
    for (int pass = 1; pass <= op.passes; ++pass) {
      testing::FaultEnv env;
      env.failRead = testing::FaultEnv::Nth(pass);
      env.readableBytes = 8;
      EXPECT_FALSE(op.run(in.c_str(), out.c_str())) << "pass " << pass;
      EXPECT_FALSE(SharedWordFrequencyTable().holdsStorage());
    }
    EXPECT_EQ(testing::FileExists(out), op.writesOutputFirst);
    // A run after failed ones is as good as a first one.
    EXPECT_TRUE(op.viaExport(in.c_str(), out.c_str()));
    EXPECT_NE(testing::ReadFile(out), "");
    if (op.refusesItsInputAsOutput) {
      for (const std::string& same :
           {in, dir.path() + sep + "." + sep + "in.txt", dir.path() + sep + sep + "in.txt"}) {
        EXPECT_FALSE(op.run(in.c_str(), same.c_str())) << same;
        EXPECT_EQ(testing::ReadFile(in), input);
      }
    }
#if !defined(_WIN32)
    // Nothing to write: nothing fails.
    testing::WriteFile(in, "no pairs here\n");
    EXPECT_TRUE(op.run(in.c_str(), "/dev/full"));
#endif
    EXPECT_FALSE(SharedWordFrequencyTable().holdsStorage());
  }
}

}  // namespace
}  // namespace ulo::assoc
