// `ulo count --jobs N` and `ulo run --jobs N`: however the corpora are dealt
// out to workers, the merged pairs are the same bytes.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "run_ulo.h"
#include "test_support.h"
#include "window_pairs.h"

namespace ulo::testing {
namespace {

class JobsTest : public UloCommandTest {
 protected:
  // Every unordered pair of `words` words once, one pair a line, in {name}.
  void WriteAllPairs(const std::string& name, int words) {
    std::ofstream out(dir.Path(name), std::ios::binary);
    for (int a = 0; a < words; ++a) {
      for (int b = a + 1; b < words; ++b)
        out << "w" << a << " v" << b << "\n";
    }
  }

  // `lines` dealt out to three corpora {c0.txt} {c1.txt} {c2.txt}.
  void WriteCorpora(const TokenLines& lines) {
    size_t third = lines.size() / 3;
    for (size_t file = 0; file < 3; ++file) {
      Write("c" + std::to_string(file) + ".txt",
            CorpusText({lines.begin() + file * third, lines.begin() + (file + 1) * third}));
    }
  }

  size_t SpillFiles(const std::string& part) {
    size_t files = 0;
    while (Exists(part + "/temp" + std::to_string(files + 1) + ".txt"))
      ++files;
    return files;
  }

  std::mt19937 random{5};
};

std::string Grouped(uint64_t value) {
  std::string digits = std::to_string(value), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

const std::string kCorpora = " {c0.txt} {c1.txt} {c2.txt} --window 3";

TEST_F(JobsTest, TwoWorkersWithSeveralSpillsEachMergeToTheBytesOfOne) {
  // 39,800 distinct pairs, about ten spills of a library that spills every 4096.
  WriteAllPairs("small.txt", 200);
  for (std::string jobs : {"1", "2"}) {
    UloResult count = RunOk(std::string("--library '") + ULO_SMALL_SPILL_LIBRARY +
                            "' count {small.txt} --work {w" + jobs + "} --window 1 --jobs " + jobs);
    // Each pair stands in one spill: their lines are the pairs, both ways.
    EXPECT_TRUE(Contains(count.out, "(39,800 lines)")) << count.out;
    RunOk("merge {w" + jobs + "} {w" + jobs + ".txt}");
  }
  EXPECT_GE(SpillFiles("w1/part-1"), 9u);
  EXPECT_FALSE(Exists("w1/part-2"));
  EXPECT_GE(SpillFiles("w2/part-1"), 4u);
  EXPECT_GE(SpillFiles("w2/part-2"), 4u);
  std::string one = Read("w1.txt");
  EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 2 * 200 * 199 / 2);
  EXPECT_TRUE(one == Read("w2.txt")) << "the merged files differ";
}

// However the corpora are dealt out and handed over, the filters drop the
// same tokens in every worker: stop words of ulo's lists in any case, one of
// the user's file, and punctuation and digits (the GB2312 full-width comma
// among them).
TEST_F(JobsTest, EveryWayOfDealingAndHandingOverGivesTheSameMergedFile) {
  const std::vector<std::string> stop = {"the", "Of", "AND", "T7"};
  const std::vector<std::string> punctuation = {"--", "42", "\xA3\xAC", "(1)"};
  Write("stop.txt", "t7\n");
  uint64_t stopDropped = 0, punctuationDropped = 0;
  TokenLines written = SkewedLines(random, 9000, 0, 15, 400, "t"), kept;
  for (auto& tokens : written) {
    kept.emplace_back();
    for (std::string& token : tokens) {
      unsigned pick = random() % 20;
      if (pick < 5) {
        token =
            pick < 3 ? stop[random() % stop.size()] : punctuation[random() % punctuation.size()];
        ++(pick < 3 ? stopDropped : punctuationDropped);
      } else if (token == "t7") {
        ++stopDropped;
      } else {
        kept.back().push_back(token);
      }
    }
  }
  WriteCorpora(written);
  // The window counts kept tokens only: the dropped ones leave no gap.
  std::string expected = PairFileText(WindowPairs(kept, 3));
  for (std::string way : {"1p", "1", "2", "3", "7"}) {
    std::string jobs = way.substr(0, 1), extra = way.size() > 1 ? " --per-pair-commands" : "";
    UloResult run = RunOk("run" + kCorpora + " --stopwords {stop.txt} --jobs " + jobs +
                          " --out {j" + way + "}" + extra);
    EXPECT_TRUE(Read("j" + way + "/pairs.txt") == expected) << way;
    // Every worker's dropped tokens, added up.
    for (std::string line :
         {"workers            " + jobs + "\n", "stop words dropped " + Grouped(stopDropped) + "\n",
          "punctuation, symbols and digits dropped " + Grouped(punctuationDropped) + "\n"})
      EXPECT_TRUE(Contains(run.out, line)) << way << "\n" << run.out;
  }
  for (std::string file : {"ranked.txt", "frequent.txt"})
    EXPECT_TRUE(Read("j1p/" + file) == Read("j3/" + file)) << file;
  // count asks for the filters by name, and drops the same in two workers.
  RunOk("count" + kCorpora +
        " --default-stopwords --drop-punctuation --jobs 2 --stopwords {stop.txt} --work {w}");
  EXPECT_TRUE(Exists("w/part-2"));
  RunOk("merge {w} {w.txt}");
  EXPECT_TRUE(Read("w.txt") == expected);
}

std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> children;
  pid_t child;
  while (in >> child)
    children.push_back(child);
  return children;
}

TEST_F(JobsTest, AFailedWorkerStopsTheOthersAndIsNamedWithItsPart) {
  // Counted in both directions, 8,997,000 distinct pairs: long enough a
  // count to stop.
  WriteAllPairs("large.txt", 3000);
  std::string work = dir.Path("w");
  pid_t ulo =
      StartUlo({"count", dir.Path("large.txt"), "--work", work, "--window", "1", "--jobs", "2"},
               dir.Path("out"), dir.Path("err"));
  std::vector<pid_t> workers;
  for (int wait = 0; wait < 1000 && workers.size() < 2; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    workers = ChildrenOf(ulo);
  }
  ASSERT_EQ(workers.size(), 2u);
  std::sort(workers.begin(), workers.end());  // in the order they were started
  kill(workers[1], SIGKILL);
  EXPECT_EQ(WaitExit(ulo), 1);
  std::string err = Read("err");
  EXPECT_TRUE(Contains(err, "ulo: count: part 2 of 2 ("));
  EXPECT_TRUE(Contains(err, "signal 9"));
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  // The other worker was stopped, and nothing is left that looks like a result.
  EXPECT_EQ(kill(workers[0], 0), -1);
  EXPECT_FALSE(FileExists(work));
  EXPECT_FALSE(FileExists(work + ".ulo-partial"));
}

}  // namespace
}  // namespace ulo::testing
