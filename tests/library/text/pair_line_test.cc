#include "text/pair_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace ulo::text {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// As atoi reads them, but in 64 bits, pinned at the range's ends.
TEST(ParseCountIntegerTest, ReadsAsAtoiDoesInSixtyFourBits) {
  struct Case {
    const char* text;
    int64_t value;
  };
  std::vector<Case> cases = {
      {"12", 12},  {"-3", -3},   {"+7", 7},  {"  \t42", 42}, {"007", 7},
      {"5\tx", 5}, {"2.5", 2},   {"abc", 0}, {"", 0},        {"-", 0},
      {"- 5", 0},  {"12\r", 12}, {"\n9", 9}, {"1e3", 1},     {"0x10", 0},
  };
  const Case wide[] = {
      {"9223372036854775807", kMax},  {"9223372036854775808", kMax},
      {"-9223372036854775808", kMin}, {"-9223372036854775809", kMin},
      {"99999999999999999999", kMax}, {"-99999999999999999999x", kMin},
      {"2147483648", 2147483648LL},   {"-2147483649", -2147483649LL},
  };
  cases.insert(cases.end(), std::begin(wide), std::end(wide));
  for (const Case& c : cases)
    EXPECT_EQ(ParseCountInteger(c.text), c.value) << c.text;
}

TEST(ParseCountRealTest, ReadsAsAtofDoes) {
  EXPECT_EQ(ParseCountReal("4"), 4.0);
  EXPECT_EQ(ParseCountReal("2.5"), 2.5);
  EXPECT_EQ(ParseCountReal(" -3\n"), -3.0);
  EXPECT_EQ(ParseCountReal("abc"), 0.0);
  EXPECT_EQ(ParseCountReal("1e3"), 1000.0);
  EXPECT_EQ(ParseCountReal("0x10"), 16.0);
  EXPECT_EQ(ParseCountReal("123456789012345678"), 123456789012345678.0);
  EXPECT_TRUE(std::isinf(ParseCountReal("inf")));
  EXPECT_TRUE(std::signbit(ParseCountReal("-0")));
}

TEST(FormatDecimalTest, BoundaryValues) {
  struct Case {
    int64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},   {2147483647, "2147483647"},     {kMax, "9223372036854775807"},
      {-3, "-3"}, {-2147483648LL, "-2147483648"}, {kMin, "-9223372036854775808"},
  };
  for (const Case& c : cases) {
    char buffer[24];
    char* stop = FormatDecimal(c.value, buffer);
    EXPECT_EQ(std::string(buffer, stop), c.text);
  }
}

TEST(WritePairLineTest, GbkWordsAndNegativeCount) {
  testing::TempDir dir;
  int error = 0;
  {
    auto out = TextWriter::Open(dir.Path("p.txt"), false, &error);
    ASSERT_NE(out, nullptr);
    WritePairLine(*out, "\xBC\xD7", "\xD2\xD2", -3);
    WritePairLine(*out, "a", "b", int64_t{5000000000});
    ASSERT_TRUE(out->Close());
  }
  std::string lf = platform::kTextModeWritesCrLf ? "\r\n" : "\n";
  EXPECT_EQ(testing::ReadFile(dir.Path("p.txt")),
            "\xBC\xD7\t\xD2\xD2\t-3" + lf + "a\tb\t5000000000" + lf);
}

}  // namespace
}  // namespace ulo::text
