// Reading pair-count text: its lines, the counts in them, and the decimal
// form counts are written back in.
#include "text/line_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "support/memory_file.h"
#include "support/test_support.h"
#include "text/pair_line.h"

namespace ulo::text {
namespace {

using testing::MemoryFile;

struct Read {
  LineReader::Status status;
  std::string line;
  bool operator==(const Read& other) const { return status == other.status && line == other.line; }
};

std::vector<Read> ReadAll(const std::string& bytes, size_t chunk, size_t blockSize,
                          size_t maxLength = LineReader::kUnlimited) {
  LineReader reader(std::make_unique<MemoryFile>(bytes, chunk), blockSize);
  std::vector<Read> reads;
  for (;;) {
    std::string_view line;
    auto status = reader.Next(&line, maxLength);
    if (status == LineReader::Status::kEnd) break;
    reads.push_back({status, status == LineReader::Status::kLine ? std::string(line) : ""});
    if (status == LineReader::Status::kError) break;
  }
  return reads;
}

constexpr size_t kAny = LineReader::kUnlimited;
Read Line(std::string text) {
  return {LineReader::Status::kLine, std::move(text)};
}
const Read kSkipped = {LineReader::Status::kTooLong, ""};

TEST(LineReaderTest, LinesAsRead) {
  const std::string longLine(10000, 'x'), limit(9, 'x');
  const struct {
    const char* what;
    std::string bytes;
    size_t maxLength;
    std::vector<Read> reads;
  } cases[] = {
      {"lines keep their LF", "a\tb\t1\nc\td\t2\n", kAny, {Line("a\tb\t1\n"), Line("c\td\t2\n")}},
      {"CR LF as LF",
       "a\r\nb\r\r\nc\rd\n\r\n",
       kAny,
       {Line("a\n"), Line("b\r\n"), Line("c\rd\n"), Line("\n")}},
      {"last line without LF", "a\nlast", kAny, {Line("a\n"), Line("last")}},
      {"lone CR at the end", "lone\r", kAny, {Line("lone\r")}},
      {"empty", "", kAny, {}},
      {"long lines are never split",
       longLine + "\nshort\n" + longLine,
       kAny,
       {Line(longLine + "\n"), Line("short\n"), Line(longLine)}},
      {"over-long lines are skipped whole",
       limit + "\n" + limit + "y\nok\n" + std::string(300, 'z') + "\nend",
       10,
       {Line(limit + "\n"), kSkipped, Line("ok\n"), kSkipped, Line("end")}},
      // A CR LF end counts as one byte.
      {"CR LF at the limit", limit + "\r\n", 10, {Line(limit + "\n")}},
      {"over-long last line", "ok\n" + std::string(11, 'x'), 10, {Line("ok\n"), kSkipped}},
      // One that only fits the buffer in pieces: no piece comes out as a line.
      {"over-long beyond the buffer", "ok\n" + std::string(150, 'x'), 10, {Line("ok\n"), kSkipped}},
  };
  for (const auto& c : cases) {
    for (size_t chunk : {1, 2, 3, 4, 7, 100, 1000, 100000}) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      EXPECT_EQ(ReadAll(c.bytes, chunk, 64, c.maxLength), c.reads);
    }
  }
}

TEST(LineReaderTest, ReadErrorIsReported) {
  LineReader reader(std::make_unique<MemoryFile>("a\nb\nc\n", 2, 2), 64);
  std::string_view line;
  EXPECT_EQ(reader.Next(&line), LineReader::Status::kLine);
  EXPECT_EQ(reader.Next(&line), LineReader::Status::kError);
  EXPECT_EQ(reader.Next(&line), LineReader::Status::kError);
}

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

}  // namespace
}  // namespace ulo::text
