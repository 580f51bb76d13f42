#include "assoc/pair_scanner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "text/line_reader.h"

namespace ulo::assoc {
namespace {

struct CutLine {
  std::string line, word1, word2, rest;
  bool operator==(const CutLine& other) const {
    return line == other.line && word1 == other.word1 && word2 == other.word2 && rest == other.rest;
  }
};

std::ostream& operator<<(std::ostream& out, const CutLine& cut) {
  return out << ::testing::PrintToString(cut.line);
}

// What the line reader and the field cut give, line by line.
std::vector<CutLine> Reference(const std::string& path, const text::FieldLimits& limits) {
  std::vector<CutLine> cuts;
  int error = 0;
  auto reader = text::LineReader::Open(path, &error, 64);
  std::string_view line;
  text::LineReader::Status status;
  while ((status = reader->Next(&line, limits.maxLine)) != text::LineReader::Status::kEnd) {
    if (status != text::LineReader::Status::kLine) continue;
    text::PairFields fields;
    if (text::CutPairLine(line, limits, &fields) != text::CutResult::kCut) continue;
    cuts.push_back({std::string(line), std::string(fields.word1), std::string(fields.word2),
                    std::string(fields.rest)});
  }
  return cuts;
}

std::vector<CutLine> Scanned(const std::string& path, const text::FieldLimits& limits,
                             size_t blockSize) {
  std::vector<CutLine> cuts;
  auto scanner = PairScanner::Open(path.c_str(), limits, blockSize);
  text::PairFields fields;
  std::string_view line;
  while (scanner->Next(&fields, &line)) {
    cuts.push_back({std::string(line), std::string(fields.word1), std::string(fields.word2),
                    std::string(fields.rest)});
  }
  EXPECT_FALSE(scanner->readFailed());
  return cuts;
}

TEST(PairScannerTest, CutsAsTheLineReaderAndFieldCutDo) {
  testing::TempDir dir;
  const std::string path = dir.Path("in.txt");
  // Bytes that matter and some that do not, long runs of a letter so that
  // some lines exceed the limits.
  const char alphabet[] = {'a', 'b', '\t', '\t', '\n', '\r', '\0', '\xB0', '5', ' '};
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    std::string input;
    size_t length = random() % 3000;
    while (input.size() < length) {
      if (random() % 40 == 0) {
        input.append(random() % 90, 'w');
      } else {
        input.push_back(alphabet[random() % sizeof alphabet]);
      }
    }
    testing::WriteFile(path, input);
    const text::FieldLimits limits{10 + random() % 60, random() % 20, random() % 20};
    const size_t blockSize = 1 + random() % 300;
    ASSERT_EQ(Scanned(path, limits, blockSize), Reference(path, limits))
        << "round " << round << " block " << blockSize << " limits " << limits.maxLine << " "
        << limits.maxWord << " " << limits.maxRest << " input " << ::testing::PrintToString(input);
  }
}

TEST(PairScannerTest, Examples) {
  testing::TempDir dir;
  const std::string path = dir.Path("in.txt");
  testing::WriteFile(path, "a\tb\t5\r\nno tabs\nc\t\td\te\n" + std::string(2000, 'x') +
                               std::string("\ty\t1\nf\tg\t2\0z\nlast\tline\t3", 24));
  auto scanner = PairScanner::Open(path.c_str(), text::kSupportLimits, 4096);
  ASSERT_NE(scanner, nullptr);
  text::PairFields fields;
  std::string_view line;
  const std::vector<CutLine> expected = {
      {"a\tb\t5\n", "a", "b", "5"},
      {"c\t\td\te\n", "c", "", "d\te"},
      {std::string("f\tg\t2\0z\n", 8), "f", "g", "2"},
      {"last\tline\t3", "last", "line", "3"},
  };
  for (const CutLine& cut : expected) {
    ASSERT_TRUE(scanner->Next(&fields, &line));
    EXPECT_EQ((CutLine{std::string(line), std::string(fields.word1), std::string(fields.word2),
                       std::string(fields.rest)}),
              cut);
  }
  EXPECT_FALSE(scanner->Next(&fields, &line));
  EXPECT_FALSE(scanner->Next(&fields, &line));
  EXPECT_EQ(PairScanner::Open(dir.Path("missing").c_str(), text::kSupportLimits), nullptr);
}

}  // namespace
}  // namespace ulo::assoc
