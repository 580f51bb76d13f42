#include "assoc/fixed_format.h"

#include <charconv>
#include <cstdint>
#include <cstring>

#include "text/text_writer.h"

namespace ulo::assoc {
namespace {

constexpr uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

char* FormatSlow(double value, int precision, char* out) {
  // to_chars with a precision rounds exactly as printf does.
  return std::to_chars(out, out + kFixedTextMax, value, std::chars_format::fixed, precision).ptr;
}

}  // namespace

char* FormatFixed(double value, int precision, char* out) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 63) != 0;
  const uint64_t biased = (bits >> 52) & 0x7FF;
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (biased == 0x7FF) {
    // glibc's spelling, the sign bit included (0.0 / 0.0 gives -nan on x86).
    if (negative) *out++ = '-';
    std::memcpy(out, fraction == 0 ? "inf" : "nan", 3);
    return out + 3;
  }
#if defined(__SIZEOF_INT128__)
  // value = mantissa * 2^exponent exactly.
  const uint64_t mantissa = biased == 0 ? fraction : fraction | (uint64_t{1} << 52);
  const int exponent = biased == 0 ? -1074 : static_cast<int>(biased) - 1075;
  if (exponent > 10) return FormatSlow(value, precision, out);  // beyond 2^63

  const uint64_t scale = kPowersOfTen[precision];
  uint64_t whole;     // the integer part
  uint64_t decimals;  // the decimals, scaled by 10^precision and rounded
  if (exponent >= 0) {
    whole = mantissa << exponent;
    decimals = 0;
  } else {
    const int shift = -exponent;
    whole = shift < 64 ? mantissa >> shift : 0;
    const uint64_t below = shift < 64 ? mantissa & ((uint64_t{1} << shift) - 1) : mantissa;
    decimals = 0;
    if (shift <= 100) {  // further down the product stays under half a unit
      using u128 = unsigned __int128;
      const u128 product = static_cast<u128>(below) * scale;
      const u128 quotient = product >> shift;
      const u128 remainder = product - (quotient << shift);
      const u128 half = static_cast<u128>(1) << (shift - 1);
      decimals = static_cast<uint64_t>(quotient);
      // Round to nearest, an exact tie to the even last digit.
      const uint64_t lastDigitOdd = (whole * scale + decimals) & 1;
      if (remainder > half || (remainder == half && lastDigitOdd != 0)) ++decimals;
      if (decimals == scale) {
        ++whole;
        decimals = 0;
      }
    }
  }
  if (negative) *out++ = '-';
  out = text::FormatDecimal(static_cast<int64_t>(whole), out);
  if (precision > 0) {
    *out++ = '.';
    for (int i = precision - 1; i >= 0; --i) {
      out[i] = static_cast<char>('0' + decimals % 10);
      decimals /= 10;
    }
    out += precision;
  }
  return out;
#else
  return FormatSlow(value, precision, out);
#endif
}

}  // namespace ulo::assoc
