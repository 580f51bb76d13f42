#include "assoc/fixed_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace ulo::assoc {
namespace {

std::string Fixed(double value, int precision) {
  char text[kFixedTextMax];
  return std::string(text, FormatFixed(value, precision, text));
}

std::string Printf(double value, int precision) {
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", precision, value);
  return text;
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
