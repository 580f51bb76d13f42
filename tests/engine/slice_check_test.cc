// A file checked slice by slice, as a merge in key ranges checks it, must
// find a flaw exactly when the whole file's check does, wherever it is cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/files/pair_check.h"
#include "engine/merge/slice_feed.h"
#include "test_support.h"

namespace ulo::engine {
namespace {

struct Flaw {
  const char* name;
  const char* line;  // put in place of a line of the sorted file
};

TEST(SliceCheck, EveryCutFindsTheFlawsOfTheWholeFile) {
  const std::vector<std::string> sorted = {"a\tx\t1", "b\tx\t2", "b\ty\t3", "c\tx\t4",
                                           "d\tx\t5", "d\ty\t6", "e\tx\t7"};
  const Flaw flaws[] = {{"none", nullptr},     {"order", "a\tw\t1"},
                        {"repeat", "b\tx\t9"}, {"count", "c\tz\t1x"},
                        {"one field", "c\tz"}, {"CR LF kept sorted", "c\tx\t4\r"}};
  for (const Flaw& flaw : flaws) {
    SCOPED_TRACE(flaw.name);
    for (size_t at = 0; at < sorted.size(); ++at) {
      SCOPED_TRACE(at);
      std::string file;
      std::vector<size_t> starts;
      for (size_t i = 0; i < sorted.size(); ++i) {
        starts.push_back(file.size());
        file += (flaw.line != nullptr && i == at ? flaw.line : sorted[i]) + std::string("\n");
      }
      bool whole = !PairLinesProblem({}, file, kMergedPairs).empty();
      // Two cuts at any line starts: three slices, empty ones included.
      starts.push_back(file.size());
      for (size_t first : starts) {
        for (size_t second : starts) {
          if (second < first) continue;
          bool found = false;
          for (auto [begin, end] : {std::pair{size_t{0}, first}, std::pair{first, second},
                                    std::pair{second, file.size()}}) {
            found = found || !SliceProblem({file, begin, end, true, {}}).empty();
          }
          EXPECT_EQ(found, whole) << "cut at bytes " << first << " and " << second;
        }
      }
    }
  }
}

// The check takes a short line of a block in one piece; taken one line at a
// time, on its own, every line is taken apart byte by byte. Both must find
// the same first flaw, word for word, in files of short lines sorted by
// bytes on both sides of the tab (0x01 and 0xFF in words, words that extend
// others, lines of up to 40 bytes) with one line spoilt.
TEST(SliceCheck, BlocksOfShortLinesFindWhatLinesOneByOneFind) {
  const std::string bytes = std::string("a\x01\xFF", 3);
  const std::string spoilers = std::string("\t\0\r\n/:09a\x80\xFF", 12);
  std::mt19937 random(7);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  auto word = [&] {
    // Some words share a long stem, so that lines differ past their 16th byte.
    std::string text(pick(3) == 0 ? 8 : 0, 'a');
    for (size_t n = 1 + pick(3); n > 0; --n)
      text += bytes[pick(bytes.size())];
    return text;
  };
  for (PairNeeds needs : {kMergedPairs, PairNeeds{true, false}, PairNeeds{}}) {
    for (int round = 0; round < 500; ++round) {
      std::vector<std::pair<std::string, std::string>> pairs(2 + pick(30));
      for (auto& pair : pairs)
        pair = {word(), word()};
      std::sort(pairs.begin(), pairs.end());
      std::vector<std::string> lines;
      for (const auto& [word1, word2] : pairs)
        lines.push_back(word1 + "\t" + word2 + "\t" + std::to_string(pick(1000)));
      size_t at = pick(lines.size());
      std::string& spoilt = lines[at];
      switch (pick(6)) {
        case 0:
          spoilt[pick(spoilt.size())] = spoilers[pick(spoilers.size())];
          break;
        case 1:
          spoilt.insert(pick(spoilt.size() + 1), 1, spoilers[pick(spoilers.size())]);
          break;
        case 2:
          spoilt.erase(pick(spoilt.size()), 1);
          break;
        case 3:
          std::swap(spoilt, lines[pick(lines.size())]);
          break;
        case 4:
          std::swap(spoilt, lines[at + 1 < lines.size() ? at + 1 : 0]);
          break;
        default:
          spoilt += std::string(pick(24), '7');  // long lines and long counts
      }
      std::string file, expected;
      for (size_t i = 0; i < lines.size(); ++i)
        file += lines[i] + "\n";
      // Line by line, each without its end: none is taken in one piece.
      std::vector<std::string> pieces;
      for (size_t from = 0, end; from < file.size(); from = end + 1) {
        end = file.find('\n', from);
        pieces.push_back(file.substr(from, end - from));
      }
      for (size_t i = 0; i < pieces.size() && expected.empty(); ++i) {
        // (An empty line is a line only with its end.)
        std::string line = pieces[i].empty() ? "\n" : pieces[i];
        std::string problem = PairLinesProblem(i == 0 ? "" : pieces[i - 1], line, needs);
        if (problem.empty()) continue;
        expected = "line " + std::to_string(i + 1) + problem.substr(problem.find(':'));
        // A pair again names its first line, counted from the file's start.
        size_t again = expected.find("(on line 1 too)");
        if (again != std::string::npos) expected.replace(again + 9, 1, std::to_string(i));
      }
      EXPECT_EQ(PairLinesProblem({}, file, needs), expected) << ::testing::PrintToString(file);
    }
  }
}

// A slice taken straight from its file, which has shrunk since it was cut:
// the merge reading its pipe gets the lines that are left, and the feed must
// fail the range rather than let those stand for the whole slice.
TEST(SliceFeed, AFileShorterThanItsSliceFailsTheRange) {
  testing::TempDir dir;
  const std::string lines = "a\tx\t1\nb\tx\t2\n", path = dir.Path("input");
  testing::WriteFile(path, lines.substr(0, 6));
  SliceFeed feed;
  ASSERT_TRUE(feed.Start(dir.path(), {{lines, 0, lines.size(), false, path}}));
  EXPECT_EQ(testing::ReadFile(dir.Path(SliceName(0))), "a\tx\t1\n");
  EXPECT_EQ(feed.Finish(), "slice 0 of " + path + ": the file ended at byte 6, inside the slice");
}

}  // namespace
}  // namespace ulo::engine
