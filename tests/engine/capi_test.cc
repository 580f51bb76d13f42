// The engine's C API as a front-end sees it: linked as the shared library,
// the library's exports handed over from a copy loaded at run time. One
// word's associations, found by binary search with the frequency sidecar,
// must be the lines ranking the whole file gives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/include/ulo_engine.h"
#include "engine_text.h"
#include "loaded_library.h"
#include "run_ulo.h"
#include "test_support.h"
#include "window_pairs.h"

namespace ulo::testing {
namespace {

class EngineCapi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.loaded()) << library.error();
    // The engine names what it lacks: a host needs no list of its own.
    while (char* name = ulo_exports_missing(exports.get())) {
      void* address = library.Find(name);
      Error error;
      ulo_exports_set(exports.get(), name, address, &error.text);
      ulo_free(name);
      ASSERT_NE(address, nullptr);
      ASSERT_EQ(error.str(), "");
    }
    ASSERT_EQ(ulo_exports_missing(exports.get()), nullptr);
  }

  // Opens a counter into a fresh directory `name`, runs `feed`, closes it
  // and returns the first error met (empty when none).
  using Feed = std::function<void(ulo_counter_t*, char**)>;
  std::string Count(const ulo_count_options_t* options, const std::string& name, const Feed& feed) {
    MakeDirectory(dir.Path(name));
    Error error;
    ulo_counter_t* counter =
        ulo_counter_open(exports.get(), options, dir.Path(name).c_str(), &error.text);
    if (counter == nullptr) return error.str();
    feed(counter, &error.text);
    if (error.text == nullptr) ulo_counter_close(counter, &error.text);
    ulo_counter_destroy(counter);
    return error.str();
  }

  LoadedLibrary library;
  Owned<ulo_exports_t> exports{ulo_exports_create(), ulo_exports_destroy};
  TempDir dir;
};

TEST_F(EngineCapi, ErrorsReplaceTheLastAndSuccessLeavesThemAlone) {
  Error error;
  error.text = static_cast<char*>(std::malloc(8));
  std::strcpy(error.text, "earlier");
  auto options = CountOptions();
  ulo_count_options_set(options.get(), "window", "4", &error.text);
  EXPECT_EQ(error.str(), "earlier");
  ulo_count_options_set(options.get(), "windows", "4", &error.text);
  EXPECT_EQ(error.str(), "no count option is called \"windows\"");
  ulo_exports_set(exports.get(), "ULO_Nothing", nullptr, &error.text);
  EXPECT_EQ(error.str(), "the library has no export called \"ULO_Nothing\"");
  // Released objects and strings accept NULL.
  ulo_free(nullptr);
  ulo_counter_destroy(nullptr);
  ulo_staged_destroy(nullptr);
  // Arguments no call can use are refused, not dereferenced or blamed on the disk.
  EXPECT_EQ(ulo_lines_read(nullptr, 0, nullptr, &error.text), nullptr);
  EXPECT_TRUE(Contains(error.str(), "a place for their length")) << error.str();
  WriteFile(dir.Path("pairs.txt"), "a\tb\t1\n");
  ulo_topn(exports.get(), dir.Path("pairs.txt").c_str(), dir.Path("top.txt").c_str(), 0,
           &error.text);
  EXPECT_EQ(error.str(), "topn: N must be at least 1, not 0");
}

TEST_F(EngineCapi, OptionsRefuseUnknownNamesAndBadValues) {
  const struct {
    const char* name;
    const char* value;
    const char* expected;
  } cases[] = {
      {"window", "0", "the count option window takes a whole number from 1, not \"0\""},
      {"window", "3x", "takes a whole number from 1, not \"3x\""},
      {"one_way", "maybe", "takes true or false"},
      {"tokenizer", "jieba", "takes whitespace or chars"},
      {"stopwords", "some", "takes default or none"},
      {"jobs", "257", "takes a whole number from 0 to 256"},
      {"source_encoding", "NO-SUCH-CODE", "NO-SUCH-CODE"},
      // EBCDIC's line end is 0x25: every line would run into the next.
      {"source_encoding", "IBM037", "its line end is not the byte LF"},
  };
  auto options = CountOptions();
  for (const auto& c : cases) {
    Error error;
    ulo_count_options_set(options.get(), c.name, c.value, &error.text);
    EXPECT_TRUE(Contains(error.str(), c.expected)) << c.name << ": " << error.str();
  }
  Error error;
  ulo_rank_options_set(RankOptions().get(), "measure", "cosine", &error.text);
  EXPECT_TRUE(Contains(error.str(), "one of the measures' names"));
}

TEST_F(EngineCapi, EveryFeedGivesTheSpillBytesOfUloCount) {
  // GB2312, with stop words, punctuation and a last line without its end.
  const std::string corpus =
      "the cat sat on the mat , and \xD6\xD0\xCE\xC4 words\n"
      "a dog ate 42 \xD6\xD0\xCE\xC4 cat mat\n\n"
      "cat\tdog mat -- dog";
  // Blanks around a token (an ideographic space, a CR LF's CR) are no part of it.
  const std::string tokens =
      "the\tcat\tsat\ton\tthe\tmat\t,\tand\t\xE4\xB8\xAD\xE6\x96\x87\twords\n"
      "a\tdog\tate\t42\t\xE4\xB8\xAD\xE6\x96\x87\t\xE3\x80\x80"
      "cat\tmat\r\n\n"
      "cat\tdog\tmat\t--\tdog\n";
  WriteFile(dir.Path("corpus.txt"), corpus);
  UloResult ulo =
      RunUlo(dir, {"count", "--jobs", "1", dir.Path("corpus.txt"), "--work", dir.Path("ulo")});
  ASSERT_EQ(ulo.exitCode, 0) << ulo.err;
  std::string expected = ReadFile(dir.Path("ulo/part-1/temp1.txt"));
  ASSERT_TRUE(Contains(expected, "cat\tmat"));

  const std::string path = dir.Path("corpus.txt");
  const size_t second = corpus.find('\n') + 1;
  const std::pair<const char*, Feed> feeds[] = {
      {"blocks",
       [&](ulo_counter_t* counter, char** error) {
         // Cuts inside lines and inside a double-byte character.
         for (size_t at = 0; at < corpus.size() && *error == nullptr; at += 5) {
           std::string piece = corpus.substr(at, 5);
           ulo_counter_add_block(counter, "corpus", piece.data(), piece.size(), error);
         }
         ulo_counter_end_text(counter, error);
       }},
      {"tokens",
       [&](ulo_counter_t* counter, char** error) {
         ulo_counter_add_token_lines(counter, tokens.data(), tokens.size(), error);
       }},
      {"file",
       [&](ulo_counter_t* counter, char** error) {
         ulo_counter_add_file(counter, path.c_str(), 0, second, error);
         ulo_counter_add_file(counter, path.c_str(), second, 0, error);
       }},
      {"lines",
       [&](ulo_counter_t* counter, char** error) {
         // A size of 0 still gives a line a call, until the end.
         ulo_lines_t* lines = ulo_lines_open(path.c_str(), 0, 0, error);
         size_t length = 0;
         while (const char* bytes = ulo_lines_read(lines, 0, &length, error)) {
           if (length == 0) break;
           ulo_counter_add_block(counter, "corpus", bytes, length, error);
         }
         ulo_lines_close(lines);
         ulo_counter_end_text(counter, error);
       }},
  };
  auto options = CountOptions({{"jobs", "1"}});
  for (const auto& [name, feed] : feeds) {
    EXPECT_EQ(Count(options.get(), name, feed), "") << name;
    EXPECT_EQ(ReadFile(dir.Path(std::string(name) + "/temp1.txt")), expected) << name;
  }
  Error error;
  const char* paths[] = {path.c_str()};
  std::string summary =
      Take(ulo_count_files(exports.get(), options.get(), paths, 1, dir.Path("files").c_str(),
                           nullptr, nullptr, &error.text));
  EXPECT_EQ(error.str(), "");
  EXPECT_TRUE(Contains(summary, "lines\t4\n"));
  EXPECT_EQ(ReadFile(dir.Path("files/part-1/temp1.txt")), expected);
}

TEST_F(EngineCapi, ARefusedLineNamesItsOriginAndLine) {
  const std::string longLine((1 << 20) + 10, 'x'), nul("a b\nc d\ne\0f\n", 12);
  // What a file may not hold ulo's own tests show; here a file's refusal comes through.
  const std::string typo = dir.Path("typo.txt"), shrunk = dir.Path("shrunk.txt");
  WriteFile(shrunk, "a b\nc d\n");
  const std::pair<Feed, const char*> cases[] = {
      {[&](ulo_counter_t* c, char** e) {
         ulo_counter_add_block(c, "notes.txt", nul.data(), 4, e);
         ulo_counter_add_block(c, "notes.txt", nul.data() + 4, nul.size() - 4, e);
       },
       "cannot count the corpus notes.txt: line 3: a NUL byte at column 2"},
      {[&](ulo_counter_t* c, char** e) {
         for (size_t at = 0; at < longLine.size() && *e == nullptr; at += 1 << 16)
           ulo_counter_add_block(c, nullptr, longLine.data() + at,
                                 std::min<size_t>(size_t{1} << 16, longLine.size() - at), e);
       },
       "cannot count the corpus <text>: line 1: a line longer than 1 MiB"},
      {[&](ulo_counter_t* c, char** e) { ulo_counter_add_token_lines(c, "a\tb\nc\t\xFF\n", 8, e); },
       "cannot count the lines of tokens: line 2: not valid UTF-8"},
      {[&](ulo_counter_t* c, char** e) { ulo_counter_add_file(c, typo.c_str(), 0, 0, e); },
       "typo.txt: no such file"},
      // A range past the end, as a file cut while a worker counts it leaves.
      {[&](ulo_counter_t* c, char** e) { ulo_counter_add_file(c, shrunk.c_str(), 4, 20, e); },
       "shrunk.txt shrank while it was counted (12 bytes missing)"},
  };
  auto options = CountOptions();
  int name = 0;
  for (const auto& [feed, expected] : cases) {
    std::string error =
        Count(options.get(), "c" + std::to_string(name++), [&](ulo_counter_t* counter, char** e) {
          feed(counter, e);
          // A counter that refused a line counts nothing more.
          if (*e != nullptr && std::string(expected) != "typo.txt: no such file") {
            std::string first = *e;
            ulo_counter_add_block(counter, "more", "x y\n", 4, e);
            EXPECT_EQ(std::string(*e), first) << expected;
          }
        });
    EXPECT_TRUE(Contains(error, expected)) << expected << ": " << error;
  }
}

TEST_F(EngineCapi, ACounterIsRefusedWhereItWouldTakeAnotherRunsPairs) {
  // The library keeps one run per process: a second would end the first's.
  auto options = CountOptions();
  MakeDirectory(dir.Path("first"));
  MakeDirectory(dir.Path("second"));
  Error error;
  Owned<ulo_counter_t> first(
      ulo_counter_open(exports.get(), options.get(), dir.Path("first").c_str(), &error.text),
      ulo_counter_destroy);
  ulo_counter_add_block(first.get(), "a", "cat mat\n", 8, &error.text);
  Owned<ulo_counter_t> second(
      ulo_counter_open(exports.get(), options.get(), dir.Path("second").c_str(), &error.text),
      ulo_counter_destroy);
  EXPECT_EQ(second.get(), nullptr);
  EXPECT_TRUE(Contains(error.str(), "another counter of this process is open")) << error.str();
  ulo_counter_close(first.get(), &error.text);
  EXPECT_TRUE(Contains(ReadFile(dir.Path("first/temp1.txt")), "cat\tmat\t1\n"));
  Error closed;
  second.reset(
      ulo_counter_open(exports.get(), options.get(), dir.Path("second").c_str(), &closed.text));
  EXPECT_EQ(closed.str(), "");
  second.reset();
  // Every run's spill files start at temp1.txt: the first run's would go.
  EXPECT_EQ(ulo_counter_open(exports.get(), options.get(), dir.Path("first").c_str(), &closed.text),
            nullptr);
  EXPECT_TRUE(Contains(closed.str(), "holds temp1.txt of an earlier run")) << closed.str();
}

TEST_F(EngineCapi, AWorkDirectoryHeldHereIsRefusedNotWaitedFor) {
  // Its staging lock is this process's own: another taker would wait forever.
  Error error;
  Owned<ulo_work_dir_t> held(ulo_work_dir_open(dir.Path("w").c_str(), &error.text),
                             ulo_work_dir_destroy);
  ASSERT_EQ(error.str(), "");
  auto options = CountOptions();
  const std::string corpus = dir.Path("corpus.txt");
  WriteFile(corpus, "a b\n");
  auto refused = [&] {
    alarm(20);
    Error again, count;
    const char* paths[] = {corpus.c_str()};
    return ulo_work_dir_open((dir.Path("w") + "/").c_str(), &again.text) == nullptr &&
           ulo_count_files(exports.get(), options.get(), paths, 1, dir.Path("w").c_str(), nullptr,
                           nullptr, &count.text) == nullptr &&
           Contains(again.str(), "holds the work directory") &&
           Contains(count.str(), "holds the work directory");
  };
  EXPECT_EXIT(std::exit(refused() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_F(EngineCapi, TheMergeInRangesOrTakenApartGivesTheBytesOfOneMerge) {
  const std::string in = dir.Path("in"), parts = dir.Path("parts");
  WriteInputs(in, 2, 100, 40, 7);
  WriteFile(dir.Path("unsorted.txt"), "w130\ta\t1\nw100\ta\t1\n");
  // The parts a parts directory lists, joined.
  auto joined = [&](const std::string& directory) {
    Error error;
    std::string listed = Take(ulo_pair_file_parts(directory.c_str(), &error.text)), bytes;
    EXPECT_EQ(error.str(), "");
    for (size_t at = 0, end; (end = listed.find('\n', at)) != std::string::npos; at = end + 1)
      bytes += ReadFile(listed.substr(at, end - at));
    return bytes;
  };
  Error error;
  ulo_merge(exports.get(), in.c_str(), dir.Path("one.txt").c_str(), &error.text);
  ulo_merge_ranges(exports.get(), in.c_str(), dir.Path("three.txt").c_str(), 3, 0, &error.text);
  ulo_merge_ranges(exports.get(), in.c_str(), dir.Path("ranges").c_str(), 3, 1, &error.text);
  ASSERT_EQ(error.str(), "");
  // A process a range, all at once: no more than a count's workers.
  Error tooMany;
  ulo_merge_ranges(exports.get(), in.c_str(), dir.Path("many.txt").c_str(), 257, 0, &tooMany.text);
  EXPECT_TRUE(Contains(tooMany.str(), "from 0 to 256, not 257")) << tooMany.str();
  const std::string one = ReadFile(dir.Path("one.txt"));
  EXPECT_EQ(ReadFile(dir.Path("three.txt")), one);
  EXPECT_TRUE(FileExists(dir.Path("ranges/part-00002.txt")));
  EXPECT_EQ(joined(dir.Path("ranges")), one);
  // Taken apart, as a cluster runs it.
  std::vector<std::string> files = {in + "/temp1.txt", in + "/temp2.txt"};
  std::vector<const char*> paths = {files[0].c_str(), files[1].c_str()};
  std::string keys = Take(ulo_split_keys(paths.data(), paths.size(), 3, &error.text));
  ASSERT_EQ(std::count(keys.begin(), keys.end(), '\n'), 2) << keys;
  MakeDirectory(parts);
  for (int32_t k = 2; k >= 0; --k) {  // in any order, as a cluster's tasks end
    ulo_merge_range(exports.get(), paths.data(), paths.size(), keys.c_str(), k, parts.c_str(),
                    k % 2, &error.text);
  }
  ulo_write_parts_index(parts.c_str(), keys.c_str(), &error.text);
  ASSERT_EQ(error.str(), "");
  EXPECT_EQ(joined(parts), one);

  std::string unsorted = dir.Path("unsorted.txt");
  struct Refusal {
    std::vector<const char*> inputs;
    std::string keys;
    int32_t range;
    std::string says;
  } refusals[] = {
      {paths, keys, 3, "no key range 3"},
      {paths, "w120\nw110\n", 0, "not increasing"},
      {{paths[0], unsorted.c_str()}, "w120\n", 0, "out of order"},
      {{paths[0], nullptr}, keys, 0, "path 1 is missing"},
  };
  for (const Refusal& refusal : refusals) {
    Error refused;
    ulo_merge_range(exports.get(), refusal.inputs.data(), refusal.inputs.size(),
                    refusal.keys.c_str(), refusal.range, parts.c_str(), 0, &refused.text);
    EXPECT_TRUE(Contains(refused.str(), refusal.says));
  }
  // A refused range leaves its part as it was; no keys come of a missing path.
  EXPECT_EQ(joined(parts), one);
  const char* withMissing[] = {paths[0], nullptr};
  EXPECT_EQ(ulo_split_keys(withMissing, 2, 3, &error.text), nullptr);
  EXPECT_EQ(error.str(), "path 1 is missing");
  // Any number of ranges asked: a key at each first word but the lowest, found at once.
  std::string every = Take(ulo_split_keys(paths.data(), paths.size(), INT32_MAX, &error.text));
  std::set<std::string> firsts;
  for (size_t at = 0; at < one.size(); at = one.find('\n', at) + 1)
    firsts.insert(one.substr(at, one.find('\t', at) - at));
  EXPECT_EQ(std::count(every.begin(), every.end(), '\n'), firsts.size() - 1);
  Error missing;
  ulo_write_parts_index(parts.c_str(), (keys + "x\n").c_str(), &missing.text);
  EXPECT_TRUE(Contains(missing.str(), "part-00003.txt is missing"));
}

TEST_F(EngineCapi, PairFilesAreCheckedBeforeTheLibrarySeesThem) {
  WriteFile(dir.Path("bad.txt"), "a\tb\t1\na\tb\t-7\n");
  Error error;
  EXPECT_EQ(Take(ulo_check_pairs(dir.Path("bad.txt").c_str(), "shape", &error.text)),
            dir.Path("bad.txt") +
                " is not a pair-count file: line 2: the count '-7' is not "
                "digits only");
  EXPECT_EQ(Take(ulo_check_pairs(dir.Path("bad.txt").c_str(), "sideways", &error.text)), "");
  EXPECT_TRUE(Contains(error.str(), "no need is called \"sideways\""));
  // The operations check before the library sees the file.
  Error filtered;
  ulo_filter(exports.get(), dir.Path("bad.txt").c_str(), dir.Path("out.txt").c_str(), 1,
             &filtered.text);
  EXPECT_TRUE(Contains(filtered.str(), "line 2"));
  // A parts directory is checked as the one file it stands for.
  const std::string parts = dir.Path("parts");
  MakeDirectory(parts);
  WriteFile(parts + "/index.txt", "part-00000.txt\t\tc\npart-00001.txt\tc\t\n");
  WriteFile(parts + "/part-00001.txt", "c\tb\t1\n");
  const std::pair<const char*, const char*> cases[] = {
      {"a\tb\t1\n", ""},
      {"a\tb\t1\nd\ta\t1\n", "part-00000.txt holds the first word 'd', outside its range"},
      {"b\ta\t1\na\tb\t1\n", "part-00000.txt is not a pair-count file: line 2"},
  };
  for (auto [part, expected] : cases) {
    WriteFile(parts + "/part-00000.txt", part);
    std::string problem = Take(ulo_check_pairs(parts.c_str(), "order,unique", &error.text));
    EXPECT_TRUE(*expected == '\0' ? problem.empty() : Contains(problem, expected)) << problem;
  }
}

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
  // Nor one whose body was damaged since (it threw through the host).
  std::string sidecar = ReadFile(pairs + ".freq");
  WriteFile(pairs + ".freq", sidecar.replace(sidecar.find("\na\t") + 3, 0, "x"));
  EXPECT_EQ(Query(pairs, "a", &failure), Ranked(pairs, "a")) << failure;
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
  // Parts as the joined file: a part out of order, or holding first words
  // beyond its range of the index, where a word's lines are not looked for.
  const std::pair<const char*, const char*> parts[] = {
      {"b\ta\t1\na\tb\t1\n", "part-00000.txt is not a pair-count file: line 2"},
      {"a\tb\t1\nc\ta\t1\n", "part-00000.txt holds the first word 'c'"},
  };
  MakeDirectory(dir.Path("parts"));
  WriteFile(dir.Path("parts/part-00001.txt"), "c\tb\t1\n");
  WriteFile(dir.Path("parts/index.txt"), "part-00000.txt\t\tc\npart-00001.txt\tc\t\n");
  for (auto [text, expected] : parts) {
    WriteFile(dir.Path("parts/part-00000.txt"), text);
    std::string failure;
    EXPECT_EQ(Query(dir.Path("parts"), "a", &failure), "");
    EXPECT_TRUE(Contains(failure, expected)) << failure;
  }
}

}  // namespace
}  // namespace ulo::testing
