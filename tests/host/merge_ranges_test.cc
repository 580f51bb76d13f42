// `ulo merge --jobs N` and `--parts`: however the inputs are cut into key
// ranges, the ranges joined are the bytes of one merge, no first word's row
// is split between parts, and what reads pair files reads the parts alike.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run_ulo.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

// `files` sorted pair-count files of `lines` random lines each, over
// `firstWords` first words, written as spill files are.
void WriteInputs(const std::string& dir, int files, int lines, int firstWords, unsigned seed) {
  MakeDirectory(dir);
  std::mt19937 random(seed);
  for (int f = 0; f < files; ++f) {
    std::map<std::pair<std::string, std::string>, int> counts;
    for (int l = 0; l < lines; ++l) {
      std::string first = "w" + std::to_string(random() % firstWords);
      counts[{first, "v" + std::to_string(random() % 50)}] += 1 + static_cast<int>(random() % 3);
    }
    std::string text;
    for (const auto& [key, count] : counts)
      text += key.first + "\t" + key.second + "\t" + std::to_string(count) + "\n";
    WriteFile(dir + "/temp" + std::to_string(f + 1) + ".txt", text);
  }
}

void RunOk(const TempDir& dir, const std::vector<std::string>& args) {
  UloResult result = RunUlo(dir, args);
  ASSERT_EQ(result.exitCode, 0) << result.err;
}

// The parts of a parts directory, in the order of its index.
std::vector<std::string> Parts(const std::string& dir) {
  std::istringstream index(ReadFile(dir + "/index.txt"));
  std::vector<std::string> parts;
  for (std::string line; std::getline(index, line);) {
    if (!line.empty() && line[0] != '#')
      parts.push_back(ReadFile(dir + "/" + line.substr(0, line.find('\t'))));
  }
  return parts;
}

struct Shape {
  const char* name;
  int files, lines, firstWords;
};

TEST(MergeRangesTest, EveryCutJoinsToTheBytesOfOneMergeAndKeepsRowsWhole) {
  TempDir dir;
  for (Shape shape : {Shape{"many", 4, 1000, 200}, Shape{"few lines", 3, 2, 40},
                      Shape{"one first word", 3, 100, 1}, Shape{"more than twenty", 21, 50, 30}}) {
    SCOPED_TRACE(shape.name);
    std::string in = dir.Path(std::string("in-") + shape.name);
    WriteInputs(in, shape.files, shape.lines, shape.firstWords, 7);
    std::string one = dir.Path("one.txt");
    RunOk(dir, {"merge", in, one, "--jobs", "1"});
    std::string expected = ReadFile(one);
    // N beyond the number of distinct first words included.
    for (const char* jobs : {"2", "9"}) {
      SCOPED_TRACE(jobs);
      std::string joined = dir.Path("joined.txt"), parts = dir.Path("parts");
      RunOk(dir, {"merge", in, joined, "--jobs", jobs});
      EXPECT_TRUE(ReadFile(joined) == expected) << "the joined ranges differ from one merge";
      RunOk(dir, {"merge", in, parts, "--jobs", jobs, "--parts"});
      std::string concatenated;
      std::set<std::string> seenFirstWords;
      for (const std::string& part : Parts(parts)) {
        concatenated += part;
        std::set<std::string> firstWords;
        std::istringstream lines(part);
        for (std::string line; std::getline(lines, line);)
          firstWords.insert(line.substr(0, line.find('\t')));
        for (const std::string& word : firstWords)
          EXPECT_TRUE(seenFirstWords.insert(word).second) << word << "'s row is cut";
      }
      EXPECT_TRUE(concatenated == expected) << "the parts differ from one merge";
      EXPECT_FALSE(FileExists(joined + ".ranges"));
    }
  }
}

TEST(MergeRangesTest, InputsOutOfOrderAreMergedInOneProcess) {
  TempDir dir;
  std::string in = dir.Path("in");
  WriteInputs(in, 2, 500, 100, 3);
  // A line of a late first word near the start: the cuts cannot hold. The
  // check refuses such a file; trusted, it is merged as the library merges
  // any input.
  WriteFile(in + "/temp3.txt", "w1\tv1\t1\nw99\tv1\t4\nw10\tv2\t1\nw5\tv3\t2\n");
  EXPECT_NE(RunUlo(dir, {"merge", in, dir.Path("refused.txt")}).exitCode, 0);
  RunOk(dir, {"--trust-input", "merge", in, dir.Path("one.txt"), "--jobs", "1"});
  RunOk(dir, {"--trust-input", "merge", in, dir.Path("two.txt"), "--jobs", "2"});
  EXPECT_TRUE(ReadFile(dir.Path("two.txt")) == ReadFile(dir.Path("one.txt")));
  RunOk(dir, {"--trust-input", "merge", in, dir.Path("parts"), "--jobs", "2", "--parts"});
  std::vector<std::string> parts = Parts(dir.Path("parts"));
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_TRUE(parts[0] == ReadFile(dir.Path("one.txt")));
}

TEST(MergeRangesTest, EveryReaderTakesTheParts) {
  TempDir dir;
  std::string in = dir.Path("in");
  WriteInputs(in, 4, 2000, 200, 11);
  std::string one = dir.Path("one.txt"), parts = dir.Path("parts");
  RunOk(dir, {"merge", in, one, "--jobs", "1"});
  RunOk(dir, {"merge", in, parts, "--jobs", "3", "--parts"});
  for (std::vector<std::string> command :
       {std::vector<std::string>{"rank", "--measure", "pmi", "--top", "3"},
        std::vector<std::string>{"rank"}, std::vector<std::string>{"filter", "", "", "3"},
        std::vector<std::string>{"topn", "", "", "4"}, std::vector<std::string>{"support"}}) {
    SCOPED_TRACE(command[0]);
    std::vector<std::string> fromOne = command, fromParts = command;
    auto place = [&](std::vector<std::string>* args, const std::string& input,
                     const std::string& output) {
      if (args->size() > 2 && (*args)[1].empty()) {
        (*args)[1] = input;
        (*args)[2] = output;
      } else {
        args->insert(args->begin() + 1, {input, output});
      }
    };
    place(&fromOne, one, dir.Path("from-one"));
    place(&fromParts, parts, dir.Path("from-parts"));
    RunOk(dir, fromOne);
    RunOk(dir, fromParts);
    EXPECT_TRUE(ReadFile(dir.Path("from-one")) == ReadFile(dir.Path("from-parts")));
  }
}

}  // namespace
}  // namespace ulo::testing
