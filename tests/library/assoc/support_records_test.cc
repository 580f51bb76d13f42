#include "assoc/support_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "assoc/fixed_format.h"
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

// What printf writes for `value` with "%.*f".
std::string Printf(double value, int precision) {
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", precision, value);
  return text;
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
  std::string nan = Printf(zero / zero, 6);
#if defined(_WIN32)
  // The library spells a NaN as glibc does, with its sign; MinGW's printf
  // drops the sign.
  nan = std::signbit(zero / zero) ? "-nan" : "nan";
#endif
  EXPECT_EQ(Run("a\tb\t0\n"), Records("a", "b", nan, nan, nan));
  // a's counts sum to 0, and so does the total.
  EXPECT_EQ(Run("a\tb\t5\na\tc\t-5\n"),
            Record("a", "b", Printf(5 / zero, 6), Printf(5 / zero, 6)) +
                Record("b", "a", k100, Printf(5 / zero, 6)) +
                Record("a", "c", Printf(-5 / zero, 6), Printf(-5 / zero, 6)) +
                Record("c", "a", k100, Printf(-5 / zero, 6)));
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

TEST_F(SupportRecordsTest, ManyLinesMatchLineByLineWork) {
  std::mt19937 random(99);
  for (uint32_t slotCount : {WordFrequencyTable::kSlotCount, 16u, 8u}) {
    for (int round = 0; round < 3; ++round) {
      const std::string input = testing::RandomPairFile(random, testing::Vocabulary());
      testing::WriteFile(in(), input);
      std::string expectedMessages;
      const std::string expected = oracle::SupportRecordsOf(
          input, WordFrequencyTable::kSharedProbeLimit, slotCount, &expectedMessages);
      WordFrequencyTable table(WordFrequencyTable::kSharedProbeLimit, slotCount);
      ::testing::internal::CaptureStdout();
      EXPECT_TRUE(WriteWordSupportRecords(in().c_str(), out().c_str(), table));
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), expectedMessages);
      EXPECT_EQ(testing::ReadAsLf(out()), expected) << "slots " << slotCount;
      if (slotCount < 16) {
        EXPECT_NE(expectedMessages, "");  // refusals were exercised
      }
    }
  }
}

// The numbers of the records (and of the top-N lists) are written as
// printf's "%.*f" writes them.
std::string Fixed(double value, int precision) {
  char text[kFixedTextMax];
  return std::string(text, FormatFixed(value, precision, text));
}

void ExpectLikePrintf(double value) {
  for (int precision = 0; precision <= 6; ++precision) {
    ASSERT_EQ(Fixed(value, precision), Printf(value, precision))
        << "value " << value << " precision " << precision;
  }
}

TEST(FixedFormatTest, NotFiniteAsPrintfWritesThem) {
  volatile double zero = 0.0;
  const double values[] = {
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      zero / zero,  // the sign bit of this NaN is the processor's choice
      -(zero / zero),
      std::numeric_limits<double>::quiet_NaN(),
  };
  for (double value : values) {
    // The same spelling on every platform, the sign bit included.
    std::string text =
        std::string(std::signbit(value) ? "-" : "") + (std::isinf(value) ? "inf" : "nan");
    for (int precision = 0; precision <= 6; ++precision)
      EXPECT_EQ(Fixed(value, precision), text) << precision;
#if !defined(_WIN32)
    // That is glibc's; MinGW's printf drops the sign of a NaN.
    ExpectLikePrintf(value);
#endif
  }
}

TEST(FixedFormatTest, TiesAndRoundingLikePrintf) {
  // Halves, quarters, eighths ... exact ties at every precision.
  for (int denominator_bits = 1; denominator_bits <= 24; ++denominator_bits) {
    for (int64_t k = -300; k <= 300; ++k)
      ExpectLikePrintf(std::ldexp(static_cast<double>(k), -denominator_bits));
  }
  // Decimal-looking values just beside a rounding step.
  for (int64_t k = 0; k < 200000; k += 7) {
    double value = static_cast<double>(k) / 1000.0 + 0.0005;
    ExpectLikePrintf(value);
    ExpectLikePrintf(std::nextafter(value, 0.0));
    ExpectLikePrintf(std::nextafter(value, 1e9));
    ExpectLikePrintf(k * 0.0001);
  }
  // Scores as the statistics make them.
  for (int count = -50; count <= 60; ++count) {
    for (int frequency = 1; frequency <= 120; ++frequency)
      ExpectLikePrintf(static_cast<double>(count) / frequency * 100.0);
  }
}

TEST(FixedFormatTest, AllMagnitudesLikePrintf) {
  std::mt19937_64 random(12345);
  for (int i = 0; i < 40000; ++i) {
    // Any bit pattern that is a finite double, all exponents alike.
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    ExpectLikePrintf(value);
    // And one of the magnitudes scores have, where the digits matter.
    int exponent = static_cast<int>(random() % 140) - 75;
    ExpectLikePrintf(std::ldexp(static_cast<double>(random() >> 11), exponent - 53));
  }
  const double edges[] = {0.0,
                          -0.0,
                          std::numeric_limits<double>::denorm_min(),
                          std::numeric_limits<double>::min(),
                          std::numeric_limits<double>::max(),
                          -std::numeric_limits<double>::max(),
                          9007199254740992.0,
                          9223372036854775808.0,
                          18446744073709551616.0,
                          0.9999995,
                          0.99999949999999999,
                          999999.9999995,
                          0.005,
                          2147483647 * 0.0001,
                          -2147483648.0 * 0.0001};
  for (double value : edges)
    ExpectLikePrintf(value);
}

}  // namespace
}  // namespace ulo::assoc
