#include "text/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/memory_file.h"
#include "support/test_support.h"

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

}  // namespace
}  // namespace ulo::text
