#include "support/random_pairs.h"

namespace ulo::testing {

std::vector<std::string> Vocabulary() {
  return {"a",
          "b",
          "\xB0\xA1",
          "\xB0\xA2\xB0\xA3",
          "x",
          "",
          std::string(15, 'f'),
          std::string(16, 's'),
          std::string(40, 'l'),
          "\xC4\xE3\xBA\xC3",
          "y",
          "z",
          "\xD6\xD0\xCE\xC4",
          "q",
          "r",
          "t"};
}

std::string RandomPairFile(std::mt19937& random, const std::vector<std::string>& words,
                           const PairFileShape& shape) {
  std::string input;
  for (int run = 0; run < shape.runs; ++run) {
    const std::string& word1 = words[random() % words.size()];
    const int lines = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < lines; ++k) {
      const auto odd = random() % static_cast<unsigned>(shape.oddLineOneIn);
      if (odd == 0) {
        input += word1 + "\t" + std::string(shape.overLongWord, 'x') + "\t1\n";
        continue;
      }
      if (odd == 1 && shape.noTabLines) {
        input += word1 + "\n";
        continue;
      }
      const std::string& word2 = words[random() % words.size()];
      const int count = static_cast<int>(random() % static_cast<unsigned>(shape.countSpan));
      input += word1 + "\t" + word2 + "\t" + std::to_string(count + shape.lowestCount) +
               (shape.halfCounts && random() % 10 == 0 ? ".5" : "") + "\n";
    }
  }
  return input;
}

}  // namespace ulo::testing
