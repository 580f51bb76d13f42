// `ulo count --jobs N` and `ulo run --jobs N`: however the corpora are dealt
// out to workers, the merged pairs are the same bytes.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_ulo.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

size_t SpillFiles(const std::string& dir) {
  size_t files = 0;
  while (FileExists(dir + "/temp" + std::to_string(files + 1) + ".txt"))
    ++files;
  return files;
}

// Every unordered pair of 3000 words once, one pair a line: counted in both
// directions, 8,997,000 distinct pairs, more than two spills' worth.
std::string WriteLargeCorpus(const TempDir& dir) {
  std::string path = dir.Path("large.txt");
  std::ofstream out(path, std::ios::binary);
  std::string line;
  for (int a = 0; a < 3000; ++a) {
    for (int b = a + 1; b < 3000; ++b) {
      line = "w" + std::to_string(a) + " v" + std::to_string(b) + "\n";
      out << line;
    }
  }
  return path;
}

TEST(JobsTest, TwoWorkersWithSeveralSpillsEachMergeToTheBytesOfOne) {
  TempDir dir;
  std::string corpus = WriteLargeCorpus(dir);
  for (const char* jobs : {"1", "2"}) {
    std::string work = dir.Path(std::string("w") + jobs);
    UloResult count =
        RunUlo(dir, {"count", corpus, "--work", work, "--window", "1", "--jobs", jobs});
    ASSERT_EQ(count.exitCode, 0) << count.err;
    UloResult merge = RunUlo(dir, {"merge", work, work + ".txt"});
    ASSERT_EQ(merge.exitCode, 0) << merge.err;
  }
  // 0x400000 distinct pairs a spill: three for one worker, two for each of two.
  EXPECT_EQ(SpillFiles(dir.Path("w1/part-1")), 3u);
  EXPECT_FALSE(FileExists(dir.Path("w1/part-2")));
  EXPECT_EQ(SpillFiles(dir.Path("w2/part-1")), 2u);
  EXPECT_EQ(SpillFiles(dir.Path("w2/part-2")), 2u);
  std::string one = ReadFile(dir.Path("w1.txt"));
  EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 2 * 3000 * 2999 / 2);
  EXPECT_TRUE(one == ReadFile(dir.Path("w2.txt"))) << "the merged files differ";
}

// Word pairs of a Zipf-like corpus, as the merge writes them.
std::string IndependentCount(const std::vector<std::vector<std::string>>& lines, int window) {
  std::map<std::pair<std::string, std::string>, long long> counts;
  for (const auto& tokens : lines) {
    for (size_t i = 0; i < tokens.size(); ++i) {
      for (size_t j = i + 1; j < tokens.size() && j - i <= static_cast<size_t>(window); ++j) {
        ++counts[{tokens[i], tokens[j]}];
        ++counts[{tokens[j], tokens[i]}];
      }
    }
  }
  std::string out;
  for (const auto& entry : counts) {
    out +=
        entry.first.first + "\t" + entry.first.second + "\t" + std::to_string(entry.second) + "\n";
  }
  return out;
}

TEST(JobsTest, EveryWayOfDealingAndHandingOverGivesTheSameMergedFile) {
  TempDir dir;
  std::mt19937 random(5);
  std::vector<std::vector<std::string>> lines;
  std::vector<std::string> corpora;
  for (int file = 0; file < 3; ++file) {
    std::string text;
    for (int l = 0; l < 3000; ++l) {
      std::vector<std::string> tokens;
      int length = static_cast<int>(random() % 15);
      for (int t = 0; t < length; ++t) {
        // Skewed: low numbers are frequent, so pairs repeat across lines.
        unsigned rank = random() % 400;
        tokens.push_back("t" + std::to_string(rank * rank / 400));
        text += (t ? " " : "") + tokens.back();
      }
      text += "\n";
      lines.push_back(tokens);
    }
    corpora.push_back(dir.Path("c" + std::to_string(file) + ".txt"));
    WriteFile(corpora.back(), text);
  }
  std::string expected = IndependentCount(lines, 3);
  struct Way {
    const char* jobs;
    bool perPair;
  };
  for (Way way :
       {Way{"1", true}, Way{"1", false}, Way{"2", false}, Way{"3", false}, Way{"7", false}}) {
    std::string name = std::string("j") + way.jobs + (way.perPair ? "p" : "");
    std::vector<std::string> args = {"run"};
    args.insert(args.end(), corpora.begin(), corpora.end());
    for (const char* arg : {"--window", "3", "--jobs"})
      args.push_back(arg);
    args.push_back(way.jobs);
    args.push_back("--out");
    args.push_back(dir.Path(name));
    if (way.perPair) args.push_back("--per-pair-commands");
    UloResult run = RunUlo(dir, args);
    ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
    EXPECT_TRUE(ReadFile(dir.Path(name + "/pairs.txt")) == expected) << name;
    EXPECT_NE(run.out.find(std::string("workers            ") + way.jobs), std::string::npos)
        << run.out;
  }
  EXPECT_TRUE(ReadFile(dir.Path("j1p/ranked.txt")) == ReadFile(dir.Path("j3/ranked.txt")));
}

std::string Grouped(uint64_t value) {
  std::string digits = std::to_string(value), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

TEST(JobsTest, FiltersDropTheSameTokensInEveryWorker) {
  TempDir dir;
  std::mt19937 random(11);
  // Stop words of ulo's lists in any case, one of the user's file, and
  // punctuation and digits (the GB2312 full-width comma among them).
  const std::vector<std::string> stop = {"the", "Of", "AND", "T7"};
  const std::vector<std::string> punctuation = {"--", "42", "\xA3\xAC", "(1)"};
  WriteFile(dir.Path("stop.txt"), "t7\n");
  std::vector<std::vector<std::string>> kept;
  std::vector<std::string> corpora;
  uint64_t stopDropped = 0, punctuationDropped = 0;
  for (int file = 0; file < 3; ++file) {
    std::string text;
    for (int l = 0; l < 2000; ++l) {
      std::vector<std::string> tokens;
      int length = static_cast<int>(random() % 12);
      for (int t = 0; t < length; ++t) {
        unsigned pick = random() % 20;
        std::string token;
        if (pick < 3) {
          token = stop[random() % stop.size()];
          ++stopDropped;
        } else if (pick < 5) {
          token = punctuation[random() % punctuation.size()];
          ++punctuationDropped;
        } else {
          unsigned rank = random() % 300;
          token = "t" + std::to_string(rank * rank / 300);
          if (token == "t7") {
            ++stopDropped;
          } else {
            tokens.push_back(token);
          }
        }
        text += (t ? " " : "") + token;
      }
      text += "\n";
      kept.push_back(tokens);
    }
    corpora.push_back(dir.Path("c" + std::to_string(file) + ".txt"));
    WriteFile(corpora.back(), text);
  }
  // The window counts kept tokens only: the dropped ones leave no gap.
  std::string expected = IndependentCount(kept, 3);
  for (const char* jobs : {"1", "2", "3"}) {
    std::string name = std::string("j") + jobs;
    std::vector<std::string> args = {"run"};
    args.insert(args.end(), corpora.begin(), corpora.end());
    for (const char* arg : {"--window", "3", "--stopwords"})
      args.push_back(arg);
    args.push_back(dir.Path("stop.txt"));
    args.push_back("--jobs");
    args.push_back(jobs);
    args.push_back("--out");
    args.push_back(dir.Path(name));
    UloResult run = RunUlo(dir, args);
    ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
    EXPECT_TRUE(ReadFile(dir.Path(name + "/pairs.txt")) == expected) << name;
    EXPECT_NE(run.out.find(std::string("workers            ") + jobs), std::string::npos)
        << run.out;
    // Every worker's dropped tokens, added up.
    EXPECT_NE(run.out.find("stop words dropped " + Grouped(stopDropped) + "\n"), std::string::npos)
        << name << "\n"
        << run.out;
    EXPECT_NE(run.out.find("punctuation, symbols and digits dropped " +
                           Grouped(punctuationDropped) + "\n"),
              std::string::npos)
        << name << "\n"
        << run.out;
  }
  for (const char* file : {"pairs.txt", "ranked.txt", "frequent.txt"}) {
    EXPECT_TRUE(ReadFile(dir.Path(std::string("j1/") + file)) ==
                ReadFile(dir.Path(std::string("j2/") + file)))
        << file;
  }

  // count asks for the filters by name, and drops the same in two workers.
  std::vector<std::string> args = {"count"};
  args.insert(args.end(), corpora.begin(), corpora.end());
  for (const char* arg :
       {"--window", "3", "--default-stopwords", "--drop-punctuation", "--jobs", "2", "--stopwords"})
    args.push_back(arg);
  args.push_back(dir.Path("stop.txt"));
  args.push_back("--work");
  args.push_back(dir.Path("w"));
  UloResult count = RunUlo(dir, args);
  ASSERT_EQ(count.exitCode, 0) << count.err;
  EXPECT_TRUE(FileExists(dir.Path("w/part-2")));
  ASSERT_EQ(RunUlo(dir, {"merge", dir.Path("w"), dir.Path("w.txt")}).exitCode, 0);
  EXPECT_TRUE(ReadFile(dir.Path("w.txt")) == expected);
}

std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> children;
  pid_t child;
  while (in >> child)
    children.push_back(child);
  return children;
}

TEST(JobsTest, AFailedWorkerStopsTheOthersAndIsNamedWithItsPart) {
  TempDir dir;
  std::string corpus = WriteLargeCorpus(dir);
  std::string work = dir.Path("w");
  pid_t ulo =
      ulo::testing::StartUlo({"count", corpus, "--work", work, "--window", "1", "--jobs", "2"},
                             dir.Path("out"), dir.Path("err"));
  std::vector<pid_t> workers;
  for (int wait = 0; wait < 1000 && workers.size() < 2; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    workers = ChildrenOf(ulo);
  }
  ASSERT_EQ(workers.size(), 2u);
  std::sort(workers.begin(), workers.end());  // in the order they were started
  kill(workers[1], SIGKILL);
  EXPECT_EQ(ulo::testing::WaitExit(ulo), 1);
  std::string err = ReadFile(dir.Path("err"));
  EXPECT_NE(err.find("ulo: count: part 2 of 2 ("), std::string::npos) << err;
  EXPECT_NE(err.find("signal 9"), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  // The other worker was stopped, and nothing is left that looks like a result.
  EXPECT_EQ(kill(workers[0], 0), -1);
  EXPECT_FALSE(FileExists(work));
  EXPECT_FALSE(FileExists(work + ".partial"));
}

TEST(JobsTest, HelpTellsTheMemoryAndBadCountsAreRefused) {
  TempDir dir;
  for (const char* command : {"count", "run"}) {
    UloResult help = RunUlo(dir, {command, "--help"});
    // The help is wrapped to the terminal: compare words, not lines.
    std::string words;
    for (char c : help.out) {
      bool blank = c == ' ' || c == '\n';
      if (!blank || (!words.empty() && words.back() != ' ')) words.push_back(blank ? ' ' : c);
    }
    EXPECT_NE(words.find("peak memory is N times one run's"), std::string::npos) << help.out;
  }
  WriteFile(dir.Path("c.txt"), "a b\n");
  for (const char* jobs : {"0", "-1", "x", "100000"}) {
    UloResult bad =
        RunUlo(dir, {"count", dir.Path("c.txt"), "--work", dir.Path("w"), "--jobs", jobs});
    EXPECT_EQ(bad.exitCode, 2) << jobs;
    EXPECT_NE(bad.err.find("--jobs"), std::string::npos) << bad.err;
  }
}

}  // namespace
}  // namespace ulo::testing
