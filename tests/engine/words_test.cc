// The new-word search end to end: raw text counted through the library,
// merged and ranked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "engine/count/share_count.h"
#include "engine/session/exports.h"
#include "engine/text/encoding.h"
#include "engine/words/new_words.h"
#include "loaded_library.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

using namespace engine;

std::string Library(const std::string& utf8) {
  Converter converter;
  std::string error, bytes;
  EXPECT_TRUE(converter.Open("UTF-8", kLibraryEncoding, &error)) << error;
  converter.Convert(utf8, &bytes);
  return bytes;
}

// The word of `words` that is `utf8` in the library's bytes; null if none.
const NewWord* Found(const std::vector<NewWord>& words, const std::string& utf8) {
  auto at = std::find_if(words.begin(), words.end(),
                         [&](const NewWord& word) { return word.word == Library(utf8); });
  return at == words.end() ? nullptr : &*at;
}

// Filler of 30 ideographs in lines of random length, with "鹦鹉" and "巧克力"
// planted among them: real words whose fragments ("巧克", "克力") always
// meet the same neighbour.
std::string PlantedCorpus() {
  const std::string filler = "天地人山水火木金土日月星风云雨雪花草鱼鸟马牛羊车门书路河海石";
  uint32_t state = 12345;
  auto next = [&state](uint32_t below) {
    state = state * 1103515245 + 12345;
    return (state >> 16) % below;
  };
  std::string text;
  for (int line = 0; line < 300; ++line) {
    for (uint32_t n = 10 + next(30); n > 0; --n) {
      const char* planted[] = {"鹦鹉", "巧克力", "，"};
      uint32_t pick = next(40);
      text += pick >= 30 && pick < 33 ? planted[pick - 30] : filler.substr(pick % 30 * 3, 3);
    }
    text += "\n";
  }
  return text;
}

class WordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resolve(library, &exports);
    Resolve(smallSpills, &smallSpillExports);
  }

  static void Resolve(const LoadedLibrary& from, Exports* to) {
    ASSERT_TRUE(from.loaded()) << from.error();
    for (const char* name : kExportNames)
      ASSERT_TRUE(to->Set(name, from.Find(name)));
  }

  // The search over `text` (UTF-8) in a work directory of its own.
  std::vector<NewWord> Find(const std::string& text, const WordOptions& options,
                            const Exports& through) {
    std::string work = dir.Path("work" + std::to_string(++searches));
    std::string corpus = work + ".txt";
    WriteFile(corpus, text);
    MakeDirectory(work);
    CountSettings count;
    count.corpora = {corpus};
    count.from = "UTF-8";
    count.jobs = 1;
    count.direct = true;  // Begin and End through the exports, as handed
    std::vector<NewWord> words;
    EXPECT_EQ(FindNewWords(through, count, options, work, &words, nullptr), "");
    return words;
  }

  LoadedLibrary library;
  // A build of the library that spills every 4096 distinct pairs.
  LoadedLibrary smallSpills{ULO_SMALL_SPILL_LIBRARY};
  Exports exports, smallSpillExports;
  TempDir dir;
  int searches = 0;
};

TEST_F(WordsTest, ScoresMatchTheirFormulasWorkedByHand) {
  // T = 10 letters; f(甲) = f(乙) = 3, f(丙) = f(丁) = 2. The zero width
  // space, Thai's and Khmer's mark of a word break, breaks as a line end does.
  WordOptions everything;
  everything.minCount = 1;
  everything.minCohesion = -100;
  everything.minFreedom = 0;
  everything.top = 0;
  std::vector<NewWord> words = Find("甲乙丙\n丁甲乙\n甲乙\u200b丙丁\n", everything, exports);
  struct Expected {
    const char* word;
    int64_t frequency;
    double cohesion;  // min over the split points of log2(f T / (f(left) f(right)))
    double before;    // entropy of the characters before, line ends one kind
    double after;
  };
  const Expected table[] = {
      // Before: two line starts and 丁; after: 丙 and two line ends.
      {"甲乙", 3, 1.7369655941662063, 0.9182958340544896, 0.9182958340544896},
      // The weaker split wins: 甲乙|丙 (log2 10/6), not 甲|乙丙 (log2 10/3).
      {"甲乙丙", 1, 0.7369655941662062, 0, 0},
      {"丙丁", 1, 1.3219280948873624, 0, 0},
  };
  for (const Expected& expected : table) {
    SCOPED_TRACE(expected.word);
    const NewWord* found = Found(words, expected.word);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->frequency, expected.frequency);
    EXPECT_NEAR(found->cohesion, expected.cohesion, 1e-12);
    EXPECT_NEAR(found->before, expected.before, 1e-12);
    EXPECT_NEAR(found->after, expected.after, 1e-12);
    EXPECT_NEAR(found->score, found->cohesion * found->freedom() * std::log(expected.frequency),
                1e-12);
  }
  // Single letters are parts, never words.
  for (const NewWord& word : words)
    EXPECT_GT(word.word.size(), 2u);
  // Kana's prolonged sound mark is of no script of its own, yet a letter of
  // the words it stands in.
  words = Find("コーヒー\nサーバー\n", everything, exports);
  for (const char* word : {"コーヒー", "サーバー"})
    EXPECT_NE(Found(words, word), nullptr) << word;
}

// Equal scores fall to frequency, then byte order, however the neighbours'
// counts stand in the file.
TEST_F(WordsTest, TiedWordsStandInByteOrder) {
  // 甲乙 and 丙丁 alike: f = 6, cohesion 2, six kinds after; the kinds before
  // counted 1, 2, 3 and 1, 3, 2 (summed in that order, entropies differing in
  // the last bit).
  WordOptions everything;
  everything.minCount = 1;
  everything.top = 0;
  std::vector<NewWord> words = Find(
      "a甲乙1\nb甲乙2\nb甲乙3\nc甲乙4\nc甲乙5\nc甲乙6\na丙丁1\nb丙丁2\nb丙丁3\nb丙丁4\nc丙丁5\nc丙"
      "丁6\n",
      everything, exports);
  ASSERT_EQ(words.size(), 2u);
  EXPECT_EQ(words[0].score, words[1].score);
  EXPECT_EQ(words[0].word, Library("丙丁"));
}

// The planted words rank first and their fragments fail, whatever the spill
// size.
TEST_F(WordsTest, PlantedWordsRankFirstWhateverTheSpillSize) {
  std::string corpus = PlantedCorpus();
  std::vector<NewWord> spilled = Find(corpus, WordOptions(), smallSpillExports);
  size_t spills = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path("work1")))
    spills += entry.path().filename().string().rfind("temp", 0) == 0;
  EXPECT_GT(spills, 5u);
  std::vector<NewWord> whole = Find(corpus, WordOptions(), exports);
  ASSERT_GE(whole.size(), 2u);
  EXPECT_EQ(whole[0].word, Library("鹦鹉"));
  EXPECT_EQ(whole[1].word, Library("巧克力"));
  EXPECT_EQ(Found(whole, "巧克"), nullptr);
  EXPECT_EQ(Found(whole, "克力"), nullptr);
  ASSERT_EQ(spilled.size(), whole.size());
  for (size_t i = 0; i < whole.size(); ++i) {
    EXPECT_EQ(spilled[i].word, whole[i].word);
    EXPECT_EQ(spilled[i].score, whole[i].score);
  }
}

}  // namespace
}  // namespace ulo::testing
