// One word's associations through the C API: found by binary search with the
// frequency sidecar, they must be the lines ranking the whole file gives.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "contains.h"
#include "engine/include/ulo_engine.h"
#include "engine_text.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

// Both directions counted: every line has its mirror. A self-pair, a word
// on both sides of others, a word only before others in byte order.
constexpr char kMirrored[] =
    "a\ta\t3\na\tb\t4\na\tc\t2\nb\ta\t4\nb\tc\t1\nb\td\t6\nc\ta\t2\nc\tb\t1\nd\tb\t6\n";
// Counted one way: (x, y) says y followed x; b's predecessors lie on other
// words' lines.
constexpr char kOneWay[] = "a\tb\t4\na\tc\t2\nb\tc\t1\nc\tb\t5\nd\tb\t6\n";
// Every line's words stand the other way round too, but with the counts
// swapped: no mirror.
constexpr char kSwapped[] = "a\tb\t2\na\tc\t1\nb\ta\t1\nc\ta\t2\n";

class WordQuery : public ::testing::Test {
 protected:
  void Options(const Settings& settings) { options = RankOptions(settings); }

  // `word`'s lines of the whole file's ranking.
  std::string Ranked(const std::string& pairs, const std::string& word) {
    char* error = nullptr;
    std::string out = dir.Path("ranked.txt");
    ulo_rank(pairs.c_str(), out.c_str(), options.get(), &error);
    EXPECT_EQ(Take(error), "");
    std::istringstream lines(ReadFile(out));
    std::string line, kept;
    while (std::getline(lines, line)) {
      if (line.rfind(word + "\t", 0) == 0) kept += line + "\n";
    }
    return kept;
  }

  std::string Query(const std::string& pairs, const std::string& word, std::string* failure) {
    char* error = nullptr;
    std::string text =
        Take(ulo_neighbours(pairs.c_str(), word.data(), word.size(), options.get(), &error));
    *failure = Take(error);
    return text;
  }

  TempDir dir;
  Owned<ulo_rank_options_t> options = RankOptions();
};

TEST_F(WordQuery, EqualsTheWholeRankingForEveryWordAndOption) {
  const Settings cases[] = {
      {},
      {{"measure", "confidence"}, {"min_count", "1"}},
      {{"measure", "delta_p"}, {"min_count", "1"}, {"direction", "after"}},
      {{"measure", "pmi"}, {"min_count", "1"}, {"direction", "before"}, {"self_pairs", "true"}},
      {{"measure", "t"}, {"min_word_count", "7"}, {"top", "1"}},
  };
  WriteFile(dir.Path("mirrored.txt"), kMirrored);
  WriteFile(dir.Path("oneway.txt"), kOneWay);
  WriteFile(dir.Path("swapped.txt"), kSwapped);
  // The mirrored file again as a directory of two parts.
  MakeDirectory(dir.Path("parts"));
  WriteFile(dir.Path("parts/part-00000.txt"),
            "a\ta\t3\na\tb\t4\na\tc\t2\nb\ta\t4\nb\tc\t1\nb\td\t6\n");
  WriteFile(dir.Path("parts/part-00001.txt"), "c\ta\t2\nc\tb\t1\nd\tb\t6\n");
  WriteFile(dir.Path("parts/index.txt"), "part-00000.txt\t\tc\npart-00001.txt\tc\t\n");
  for (const char* file : {"mirrored.txt", "oneway.txt", "swapped.txt", "parts"}) {
    for (const Settings& settings : cases) {
      // A directory is ranked in processes: one case shows the parts are found.
      if (std::string(file) == "parts" && &settings != &cases[3]) continue;
      Options(settings);
      for (const char* word : {"a", "b", "c", "d", "zz"}) {
        std::string failure;
        std::string pairs = dir.Path(file);
        EXPECT_EQ(Query(pairs, word, &failure), Ranked(pairs, word))
            << file << " " << word << " " << settings.size();
        EXPECT_EQ(failure, "");
      }
    }
  }
}

TEST_F(WordQuery, SidecarIsRemadeWhenThePairFileChanges) {
  std::string pairs = dir.Path("pairs.txt"), failure;
  Options({{"measure", "confidence"}, {"min_count", "1"}});
  WriteFile(pairs, kMirrored);
  std::string first = Query(pairs, "a", &failure);
  ASSERT_TRUE(FileExists(pairs + ".freq"));
  EXPECT_EQ(first, Ranked(pairs, "a"));
  // The same words, other counts: a sidecar kept would give old frequencies.
  WriteFile(pairs, "a\tb\t1\na\tc\t9\nb\ta\t1\nc\ta\t9\n");
  EXPECT_EQ(Query(pairs, "a", &failure), Ranked(pairs, "a"));
  EXPECT_NE(Query(pairs, "a", &failure), first);
  // A sidecar that names another file's size is not trusted either.
  WriteFile(pairs + ".freq", "ulo-frequencies 1 1 1 1 100\na\t50\nb\t50\nc\t50\n");
  EXPECT_EQ(Query(pairs, "a", &failure), Ranked(pairs, "a"));
}

TEST_F(WordQuery, RefusesWhatIsNoSortedPairFile) {
  // Which kind of file is which, show's tests tell.
  const std::pair<const char*, const char*> cases[] = {
      {"a\tb\t57.14\t18.18\n", "is a top-N file (ulo topn), not a pair-count file"},
      {"b\ta\t1\na\tb\t1\n", "line 2"},
  };
  Options({});
  for (auto [text, expected] : cases) {
    WriteFile(dir.Path("in.txt"), text);
    std::string failure;
    EXPECT_EQ(Query(dir.Path("in.txt"), "a", &failure), "");
    EXPECT_TRUE(Contains(failure, expected));
  }
}

}  // namespace
}  // namespace ulo::testing
