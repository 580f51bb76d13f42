#include "assoc/support_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "support/random_pairs.h"
#include "support/statistics_oracle.h"
#include "support/support_record.h"
#include "support/test_support.h"

namespace ulo::assoc {
namespace {

const std::string kJia = "\xBC\xD7";
const std::string kYi = "\xD2\xD2";
const std::string k100 = "100.000000";  // 100 %, as the records write it

constexpr auto Record = &testing::SupportRecord;
constexpr auto Records = &testing::SupportRecords;

std::string PrintfF(double value) {
  return oracle::Printed("%f", value);
}

class SupportRecordsTest : public ::testing::Test {
 protected:
  void TearDown() override { ExpectSharedTableEmpty(); }

  static void ExpectSharedTableEmpty() {
    WordFrequencyTable& table = SharedWordFrequencyTable();
    EXPECT_EQ(table.entryCount(), 0);
    EXPECT_EQ(table.total(), 0);
    EXPECT_FALSE(table.holdsStorage());
  }

  // Runs over `input` with the process-wide table; the output's bytes.
  std::string Run(const std::string& input) {
    testing::WriteFile(in(), input);
    EXPECT_TRUE(WriteWordSupportRecords(in().c_str(), out().c_str()));
    ExpectSharedTableEmpty();
    return testing::ReadAsLf(out());
  }

  std::string in() const { return dir.Path("in.txt"); }
  std::string out() const { return dir.Path("out.txt"); }

  testing::TempDir dir;
};

TEST_F(SupportRecordsTest, RecordsOfSmallFiles) {
  const std::string w511(511, 'w'), w512(512, 'w'), u506(506, 'u');
  const std::string a4 = Records("a", "b", k100, k100, "50.000000");
  const struct {
    const char* what;
    std::string input, records;
  } cases[] = {
      {"GB2312 words", kJia + "\t" + kYi + "\t4\n", Records(kJia, kYi, k100, k100, "50.000000")},
      {"two lines", "a\tb\t1\na\td\t3\n",
       Records("a", "b", "25.000000", k100, "12.500000") +
           Records("a", "d", "75.000000", k100, "37.500000")},
      // Both words equal: the count goes to the word twice.
      {"equal words", "x\tx\t3\n", Records("x", "x", "50.000000", "50.000000", "50.000000")},
      {"six decimals, rounded", "a\tb\t1\na\tc\t2\n",
       Records("a", "b", "33.333333", k100, "16.666667") +
           Records("a", "c", "66.666667", k100, "33.333333")},
      // 2.5 counts 2 in the load, 2.5 in the records.
      {"fraction", "a\tb\t2.5\n", Records("a", "b", "125.000000", "125.000000", "62.500000")},
      // Only the first 31 bytes are converted in the second pass (30 zeros
      // and a 2 of 25), the whole text in the load.
      {"long count", "a\tb\t" + std::string(30, '0') + "25\n",
       Records("a", "b", "8.000000", "8.000000", "4.000000")},
      // Text after a third TAB is part of the count text and ignored by both.
      {"third TAB", "a\tb\t3\tx\nc\td\t1\n",
       Records("a", "b", k100, k100, "37.500000") + Records("c", "d", k100, k100, "12.500000")},
      {"no LF at the end", "a\tb\t4", a4},
      {"CR LF", "a\tb\t4\r\n", a4},
      // Lines without two TABs yield nothing and print nothing.
      {"lines without two TABs", "ab\n\na\tb\t4\nc\td\n", a4},
      // An empty word2 is a word like any other.
      {"empty word2", "a\t\t2\n", Records("a", "", k100, k100, "50.000000")},
      {"empty file", "", ""},
      // Each refused line would otherwise add to b's frequency and the total.
      {"limits refuse lines whole in both passes",
       w512 + "\tb\t5\n" +                                  // word1 too long
           "b\t" + w512 + "\t5\n" +                         // word2 too long
           "a\tb\t5" + std::string(126, ' ') + "\n" +       // rest of 128
           w511 + "\t" + std::string(507, 'v') + "\t1\n" +  // line of 1022
           "a\tb\t1" + std::string(125, ' ') + "\n" +       // rest of 127
           u506 + "\t" + w511 + "\t1\n",                    // line of 1021
       Records("a", "b", k100, k100, "25.000000") + Records(u506, w511, k100, k100, "25.000000")},
      {"counts sum past 32 bits", "a\tb\t2000000000\nc\td\t2000000000\n",
       Records("a", "b", k100, k100, "25.000000") + Records("c", "d", k100, k100, "25.000000")},
      {"counts past 32 bits", "a\tb\t3000000000\na\tc\t1000000000\n",
       Records("a", "b", "75.000000", k100, "37.500000") +
           Records("a", "c", "25.000000", k100, "12.500000")},
  };
  ::testing::internal::CaptureStdout();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Run(c.input), c.records);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST_F(SupportRecordsTest, DivisorZeroWrittenAsPrintfDoes) {
  volatile double zero = 0.0;
  std::string nan = PrintfF(zero / zero);
#if defined(_WIN32)
  // The library spells a NaN as glibc does, with its sign; MinGW's printf
  // drops the sign.
  nan = std::signbit(zero / zero) ? "-nan" : "nan";
#endif
  EXPECT_EQ(Run("a\tb\t0\n"), Records("a", "b", nan, nan, nan));
  // a's counts sum to 0, and so does the total.
  EXPECT_EQ(Run("a\tb\t5\na\tc\t-5\n"),
            Record("a", "b", PrintfF(5 / zero), PrintfF(5 / zero)) +
                Record("b", "a", k100, PrintfF(5 / zero)) +
                Record("a", "c", PrintfF(-5 / zero), PrintfF(-5 / zero)) +
                Record("c", "a", k100, PrintfF(-5 / zero)));
}

TEST_F(SupportRecordsTest, RefusedWordsAreReportedAndSkipped) {
  // Four slots: a, c, d and f take them all; e and b find no place.
  WordFrequencyTable table(WordFrequencyTable::kSharedProbeLimit, 4);
  testing::WriteFile(in(), "a\tc\t1\nd\tf\t1\ne\ta\t2\r\ne\tb\t1\n");
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(WriteWordSupportRecords(in().c_str(), out().c_str(), table));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "wrong at e\ta\t2\nwrong at e\tb\t1\nwrong at e\tb\t1\n");
  // The refused lines' counts stay in the total (2 + 2 + 4 + 2 = 10).
  EXPECT_EQ(testing::ReadAsLf(out()), Records("a", "c", "33.333333", k100, "10.000000") +
                                          Records("d", "f", k100, k100, "10.000000"));
  EXPECT_FALSE(table.holdsStorage());
}

TEST(SupportRecordsManyLinesTest, MatchLineByLineWork) {
  testing::TempDir dir;
  const std::string in = dir.Path("in.txt");
  const std::string out = dir.Path("out.txt");
  std::mt19937 random(99);
  for (uint32_t slotCount : {WordFrequencyTable::kSlotCount, 16u, 8u}) {
    for (int round = 0; round < 3; ++round) {
      const std::string input = testing::RandomPairFile(random, testing::Vocabulary());
      testing::WriteFile(in, input);
      std::string expectedMessages;
      const std::string expected = oracle::SupportRecordsOf(
          input, WordFrequencyTable::kSharedProbeLimit, slotCount, &expectedMessages);
      WordFrequencyTable table(WordFrequencyTable::kSharedProbeLimit, slotCount);
      ::testing::internal::CaptureStdout();
      EXPECT_TRUE(WriteWordSupportRecords(in.c_str(), out.c_str(), table));
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), expectedMessages);
      EXPECT_EQ(testing::ReadAsLf(out), expected) << "slots " << slotCount;
      if (slotCount < 16) {
        EXPECT_NE(expectedMessages, "");  // refusals were exercised
      }
    }
  }
}

}  // namespace
}  // namespace ulo::assoc
