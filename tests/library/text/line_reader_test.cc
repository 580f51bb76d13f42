#include "text/line_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/fault_env.h"
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

constexpr auto kLine = LineReader::Status::kLine;
constexpr auto kTooLong = LineReader::Status::kTooLong;

TEST(LineReaderTest, LinesKeepTheirLineFeed) {
  for (size_t chunk : {1, 2, 3, 7, 1000}) {
    EXPECT_EQ(ReadAll("a\tb\t1\nc\td\t2\n", chunk, 64),
              (std::vector<Read>{{kLine, "a\tb\t1\n"}, {kLine, "c\td\t2\n"}}))
        << "chunk " << chunk;
  }
}

TEST(LineReaderTest, CrLfReadsAsLf) {
  for (size_t chunk : {1, 3, 1000}) {
    EXPECT_EQ(
        ReadAll("a\r\nb\r\r\nc\rd\n\r\n", chunk, 64),
        (std::vector<Read>{{kLine, "a\n"}, {kLine, "b\r\n"}, {kLine, "c\rd\n"}, {kLine, "\n"}}))
        << "chunk " << chunk;
  }
}

TEST(LineReaderTest, LastLineWithoutLineFeed) {
  EXPECT_EQ(ReadAll("a\nlast", 2, 64), (std::vector<Read>{{kLine, "a\n"}, {kLine, "last"}}));
  EXPECT_EQ(ReadAll("lone\r", 2, 64), (std::vector<Read>{{kLine, "lone\r"}}));
  EXPECT_TRUE(ReadAll("", 2, 64).empty());
}

TEST(LineReaderTest, LongLinesAreNeverSplit) {
  std::string longLine(10000, 'x');
  for (size_t chunk : {1, 100, 100000}) {
    EXPECT_EQ(ReadAll(longLine + "\nshort\n" + longLine, chunk, 64),
              (std::vector<Read>{{kLine, longLine + "\n"}, {kLine, "short\n"}, {kLine, longLine}}))
        << "chunk " << chunk;
  }
}

TEST(LineReaderTest, OverLongLinesAreSkippedWhole) {
  std::string limit(9, 'x');
  for (size_t chunk : {1, 4, 1000}) {
    EXPECT_EQ(
        ReadAll(limit + "\n" + limit + "y\nok\n" + std::string(300, 'z') + "\nend", chunk, 64, 10),
        (std::vector<Read>{{kLine, limit + "\n"},
                           {kTooLong, ""},
                           {kLine, "ok\n"},
                           {kTooLong, ""},
                           {kLine, "end"}}))
        << "chunk " << chunk;
  }
  // A CR LF end counts as one byte.
  EXPECT_EQ(ReadAll(limit + "\r\n", 3, 64, 10), (std::vector<Read>{{kLine, limit + "\n"}}));
  // An over-long last line without LF.
  EXPECT_EQ(ReadAll("ok\n" + std::string(11, 'x'), 5, 64, 10),
            (std::vector<Read>{{kLine, "ok\n"}, {kTooLong, ""}}));
  // One that only fits the buffer in pieces: no piece comes out as a line.
  for (size_t chunk : {1, 7, 1000}) {
    EXPECT_EQ(ReadAll("ok\n" + std::string(150, 'x'), chunk, 64, 10),
              (std::vector<Read>{{kLine, "ok\n"}, {kTooLong, ""}}))
        << "chunk " << chunk;
  }
}

TEST(LineReaderTest, ReadErrorIsReported) {
  LineReader reader(std::make_unique<MemoryFile>("a\nb\nc\n", 2, 2), 64);
  std::string_view line;
  EXPECT_EQ(reader.Next(&line), kLine);
  EXPECT_EQ(reader.Next(&line), LineReader::Status::kError);
  EXPECT_EQ(reader.errorCode(), EIO);
  EXPECT_EQ(reader.Next(&line), LineReader::Status::kError);
}

TEST(LineReaderTest, OpenReportsAMissingFile) {
  testing::TempDir dir;
  int error = 0;
  EXPECT_EQ(LineReader::Open(dir.Path("missing.txt"), &error), nullptr);
  EXPECT_NE(error, 0);
  testing::WriteFile(dir.Path("f.txt"), "x\r\ny");
  auto reader = LineReader::Open(dir.Path("f.txt"), &error);
  ASSERT_NE(reader, nullptr);
  std::string_view line;
  ASSERT_EQ(reader->Next(&line), kLine);
  EXPECT_EQ(line, "x\n");
}

}  // namespace
}  // namespace ulo::text
