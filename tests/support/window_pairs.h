// A plain count of what a corpus gives the library: every pair of tokens of
// a line at most a window apart; and random corpora and pair-count files.
// Written to be obviously right, not fast.
#ifndef ULO_TESTS_SUPPORT_WINDOW_PAIRS_H_
#define ULO_TESTS_SUPPORT_WINDOW_PAIRS_H_

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace ulo::testing {

using TokenLines = std::vector<std::vector<std::string>>;
using PairCountMap = std::map<std::pair<std::string, std::string>, int64_t>;

// Each pair once per occurrence, and its reverse unless counted one way.
inline PairCountMap WindowPairs(const TokenLines& lines, int window, bool oneWay = false) {
  PairCountMap counts;
  for (const auto& tokens : lines) {
    for (size_t i = 0; i < tokens.size(); ++i) {
      for (size_t j = i + 1; j < tokens.size() && j - i <= static_cast<size_t>(window); ++j) {
        ++counts[{tokens[i], tokens[j]}];
        if (!oneWay) ++counts[{tokens[j], tokens[i]}];
      }
    }
  }
  return counts;
}

// The counts as a merged pair-count file holds them.
inline std::string PairFileText(const PairCountMap& counts) {
  std::string text;
  for (const auto& [pair, count] : counts)
    text += pair.first + "\t" + pair.second + "\t" + std::to_string(count) + "\n";
  return text;
}

// Lines of `prefix`N tokens, `shortest` to `shortest + spread - 1` a line,
// skewed to low N (below `vocabulary`) so that pairs repeat across lines.
inline TokenLines SkewedLines(std::mt19937& random, int lines, unsigned shortest, unsigned spread,
                              unsigned vocabulary, const std::string& prefix) {
  TokenLines out(static_cast<size_t>(lines));
  for (auto& tokens : out) {
    for (unsigned t = shortest + random() % spread; t > 0; --t) {
      unsigned rank = random() % vocabulary;
      tokens.push_back(prefix + std::to_string(rank * rank / vocabulary));
    }
  }
  return out;
}

// The lines as corpus text: tokens between blanks, each line ended.
inline std::string CorpusText(const TokenLines& lines) {
  std::string text;
  for (const auto& tokens : lines) {
    for (size_t t = 0; t < tokens.size(); ++t)
      text += (t ? " " : "") + tokens[t];
    text += "\n";
  }
  return text;
}

// `files` sorted pair-count files of `lines` random lines each, over
// `firstWords` first words, written as spill files are.
inline void WriteInputs(const std::string& dir, int files, int lines, int firstWords,
                        unsigned seed) {
  MakeDirectory(dir);
  std::mt19937 random(seed);
  for (int f = 0; f < files; ++f) {
    PairCountMap counts;
    for (int l = 0; l < lines; ++l) {
      std::string first = "w" + std::to_string(random() % firstWords);
      counts[{first, "v" + std::to_string(random() % 50)}] += 1 + static_cast<int>(random() % 3);
    }
    WriteFile(dir + "/temp" + std::to_string(f + 1) + ".txt", PairFileText(counts));
  }
}

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_WINDOW_PAIRS_H_
