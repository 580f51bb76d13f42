// Random pair-count files for the statistics suites: runs of one word1, as
// in merged files, over words of every length class, with odd lines mixed in.
#ifndef ULO_TESTS_SUPPORT_RANDOM_PAIRS_H_
#define ULO_TESTS_SUPPORT_RANDOM_PAIRS_H_

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace ulo::testing {

// ASCII and GB2312 words from empty to 40 bytes.
std::vector<std::string> Vocabulary();

struct PairFileShape {
  int runs = 120;             // runs of one word1, each of 1 to 8 lines
  int oddLineOneIn = 20;      // one line in so many is odd (see below)
  bool noTabLines = true;     // odd lines: a word without TABs, as well as
  size_t overLongWord = 600;  // a second word of this length (over the limits)
  int lowestCount = -5;       // counts from here ...
  int countSpan = 40;         // ... over so many values
  bool halfCounts = true;     // one count in ten ends in ".5"
};

std::string RandomPairFile(std::mt19937& random, const std::vector<std::string>& words,
                           const PairFileShape& shape = PairFileShape());

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_RANDOM_PAIRS_H_
