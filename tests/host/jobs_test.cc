// `ulo count --jobs N` and `ulo run --jobs N`: however the corpora are dealt
// out to workers, the merged pairs are the same bytes. `ulo merge --jobs N`
// and `--parts`: however the inputs are cut into key ranges, the ranges
// joined are the bytes of one merge, no first word's row is split between
// parts, and what reads pair files reads the parts alike.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/count/jobs.h"
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
  // --jobs 0 (the default) is one worker, and one merge job, per processor.
  for (std::string way : {"1p", "1", "2", "3", "7", "0"}) {
    std::string jobs = way.substr(0, 1), extra = way.size() > 1 ? " --per-pair-commands" : "";
    UloResult run = RunOk("run" + kCorpora + " --stopwords {stop.txt} --jobs " + jobs +
                          " --out {j" + way + "}" + extra);
    EXPECT_TRUE(Read("j" + way + "/pairs.txt") == expected) << way;
    std::string workers = jobs == "0" ? std::to_string(engine::DefaultJobs()) : jobs;
    // Every worker's dropped tokens, added up.
    for (std::string line :
         {"workers            " + workers + "\n", "merge jobs         " + workers + "\n",
          "stop words dropped " + Grouped(stopDropped) + "\n",
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

using MergeRangesTest = UloCommandTest;

TEST_F(MergeRangesTest, EveryCutJoinsToTheBytesOfOneMergeAndKeepsRowsWhole) {
  for (Shape shape : {Shape{"many", 4, 1000, 200}, Shape{"few lines", 3, 2, 40},
                      Shape{"one first word", 3, 100, 1}, Shape{"more than twenty", 21, 50, 30}}) {
    SCOPED_TRACE(shape.name);
    std::string in = std::string("{in-") + shape.name + "} ";
    WriteInputs(dir.Path(std::string("in-") + shape.name), shape.files, shape.lines,
                shape.firstWords, 7);
    RunOk("merge " + in + "{one.txt} --jobs 1");
    std::string expected = Read("one.txt");
    // A user's directory beside the parts, named like a backup of them.
    MakeDirectory(dir.Path("parts.old"));
    Write("parts.old/mine.txt", shape.name);
    // N beyond the number of distinct first words included.
    for (std::string jobs : {"2", "9"}) {
      SCOPED_TRACE(jobs);
      RunOk("merge " + in + "{joined.txt} --jobs " + jobs);
      EXPECT_TRUE(Read("joined.txt") == expected) << "the joined ranges differ from one merge";
      // Where no named pipe can be made, the slices are copied instead.
      UloResult copied =
          RunUloCommandLineWithoutFifos(dir, Expand("merge " + in + "{copied.txt} --jobs " + jobs));
      EXPECT_EQ(copied.exitCode, 0) << copied.err;
      EXPECT_TRUE(Read("copied.txt") == expected) << "the copied slices differ from one merge";
      // The second time over an earlier result, named with a trailing slash.
      RunOk("merge " + in + "{parts}" + (jobs == "9" ? "/" : "") + " --parts --jobs " + jobs);
      std::string concatenated;
      std::set<std::string> seenFirstWords;
      for (const std::string& part : Parts(dir.Path("parts"))) {
        concatenated += part;
        std::set<std::string> firstWords;
        std::istringstream lines(part);
        for (std::string line; std::getline(lines, line);)
          firstWords.insert(line.substr(0, line.find('\t')));
        for (const std::string& word : firstWords)
          EXPECT_TRUE(seenFirstWords.insert(word).second) << word << "'s row is cut";
      }
      EXPECT_TRUE(concatenated == expected) << "the parts differ from one merge";
      EXPECT_FALSE(Exists("joined.txt.ranges"));
      // A parts directory is one merged file: merged again, it gives itself.
      RunOk("merge {parts} {again.txt}");
      EXPECT_TRUE(Read("again.txt") == expected) << "the parts merged again differ";
      RunOk("merge {parts} {again-parts} --parts --jobs " + jobs);
      EXPECT_TRUE(Parts(dir.Path("again-parts")) == Parts(dir.Path("parts")));
      EXPECT_EQ(Read("parts.old/mine.txt"), shape.name) << "replacing the parts took it";
    }
  }
}

TEST_F(MergeRangesTest, InputsOutOfOrderAreMergedInOneProcess) {
  WriteInputs(dir.Path("in"), 2, 500, 100, 3);
  // A line of a late first word near the start: the cuts cannot hold. The
  // check refuses such a file; trusted, it is merged as the library merges
  // any input.
  Write("in/temp3.txt", "w1\tv1\t1\nw99\tv1\t4\nw10\tv2\t1\nw5\tv3\t2\n");
  Write("refused.txt.tokens", "kept");
  EXPECT_NE(Run("merge {in} {refused.txt}").exitCode, 0);
  EXPECT_EQ(Read("refused.txt.tokens"), "kept") << "a refused merge took OUT's token counts";
  RunOk("--trust-input merge {in} {one.txt} --jobs 1");
  RunOk("--trust-input merge {in} {two.txt} --jobs 2");
  EXPECT_TRUE(Read("two.txt") == Read("one.txt"));
  RunOk("--trust-input merge {in} {parts} --jobs 2 --parts");
  std::vector<std::string> parts = Parts(dir.Path("parts"));
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_TRUE(parts[0] == Read("one.txt"));
}

TEST_F(MergeRangesTest, AFlawAnywhereIsToldAsOneProcessTellsIt) {
  // Two inputs of over a MiB each, so that a range's check takes them in
  // more than one piece; the flaw in the second at its start, on the line
  // the first piece ends with and at its end.
  std::string lines;
  std::vector<size_t> starts;
  for (int i = 0; i < 120000; ++i) {
    starts.push_back(lines.size());
    lines += "w" + std::to_string(100000 + i) + "\tv\t3\n";
  }
  size_t onMiB = *(std::upper_bound(starts.begin(), starts.end(), size_t{1} << 20) - 1);
  MakeDirectory(dir.Path("in"));
  // The last with 20 more inputs: a range then merges its inputs in groups.
  struct Place {
    size_t at;
    bool more;
  };
  for (Place place : {Place{0, false}, Place{onMiB, false}, Place{starts.back(), false},
                      Place{starts.back(), true}}) {
    if (place.more) WriteInputs(dir.Path("in/more"), 20, 30, 20, 5);
    size_t at = place.at;
    // Out of order with the line before or after, no digit in a count, a
    // repeat; the lines keep their length, so the pieces their ends.
    for (const char* flaw : {"w200000\tv\t3\n", "w100000\tv\t-\n", ""}) {
      SCOPED_TRACE(std::to_string(at) + " " + flaw);
      std::string flawed = lines;
      size_t end = flawed.find('\n', at) + 1;
      std::string line = flawed.substr(at, end - at);
      flawed.replace(at, end - at, *flaw != '\0' ? flaw : line + line);
      Write("in/one.txt", lines);
      Write("in/two.txt", flawed);
      UloResult one = Run("merge {in} {one.txt} --jobs 1");
      UloResult two = Run("merge {in} {two.txt} --jobs 2");
      EXPECT_NE(one.exitCode, 0);
      EXPECT_EQ(two.exitCode, one.exitCode);
      EXPECT_EQ(two.err, one.err);
      EXPECT_FALSE(Exists("two.txt"));
    }
  }
}

TEST_F(MergeRangesTest, EveryReaderTakesTheParts) {
  WriteInputs(dir.Path("in"), 4, 2000, 200, 11);
  // A word written otherwise for people ("\xc4\xe3" in GB18030) than in the files.
  Write("in/people.txt", "w1\t\xc4\xe3\t9\n\xc4\xe3\tw1\t9\n");
  RunOk("merge {in} {one.txt} --jobs 1");
  RunOk("merge {in} {parts} --jobs 3 --parts");
  // A user's files named as an operation's work might be.
  for (const char* name : {"from-parts.ranking", "from-parts.joined"})
    Write(name, "mine");
  for (const char* command :
       {"rank # --measure pmi --top 3", "rank #", "filter # 3", "topn # 4", "support #"}) {
    SCOPED_TRACE(command);
    std::string line = command, at = line.substr(line.find('#') + 1);
    line.erase(line.find('#'));
    RunOk(line + "{one.txt} {from-one}" + at);
    RunOk(line + "{parts} {from-parts}" + at);
    EXPECT_TRUE(Read("from-one") == Read("from-parts"));
    // Never over a part or the index: it would be read as the pairs again.
    std::string index = Read("parts/index.txt");
    EXPECT_EQ(Run(line + "{parts} {parts/index.txt}" + at).exitCode, 1);
    EXPECT_EQ(Read("parts/index.txt"), index);
  }
  for (const char* name : {"from-parts.ranking", "from-parts.joined"})
    EXPECT_EQ(Read(name), "mine") << name;
}

// With --sync, every output's own bytes reach the disk before it takes its
// name, and its directory after: the flushes are logged by a preloaded
// fsync and fdatasync.
TEST_F(MergeRangesTest, SyncReachesEveryOutput) {
  WriteInputs(dir.Path("in"), 3, 500, 60, 13);
  Write("corpus.txt", "one two three two one\nthree four five\n");
  std::string log = dir.Path("fsync.log");
  std::string asan = getenv("ASAN_OPTIONS") != nullptr ? getenv("ASAN_OPTIONS") : "";
  setenv("ASAN_OPTIONS", (asan + ":verify_asan_link_order=0").c_str(), 1);
  setenv("ULO_FSYNC_LOG", log.c_str(), 1);
  setenv("LD_PRELOAD", ULO_FSYNC_LOG_LIBRARY, 1);
  std::string here = std::filesystem::canonical(dir.Path("")).string();
  // The output checked is the last one named, unless the row names another.
  for (auto [line, kept] : std::vector<std::pair<std::string, std::string>>{
           {"count {corpus.txt} --work {work}", ""},
           {"merge {in} {one.txt} --jobs 1", ""},
           {"merge {in} {two.txt} --jobs 2", ""},
           {"merge {in} {parts} --jobs 2 --parts", ""},
           {"rank {parts} {ranked}", ""},
           {"filter {parts} {filtered} 3", ""},
           {"graph {one.txt} w1 --out {picture.svg}", ""},
           {"words {corpus.txt} --work {found} --out {found.tsv}", "found/candidates.txt"}}) {
    SCOPED_TRACE(line);
    std::remove(log.c_str());
    RunOk("--sync " + line);
    if (kept.empty()) {
      kept = line.substr(line.rfind('{') + 1);
      kept.erase(kept.find('}'));
    }
    std::string output = here + "/" + kept + ".ulo-partial";
    std::string parent = std::filesystem::path(here + "/" + kept).parent_path().string();
    bool staged = false, directory = false;
    std::istringstream synced(ReadFile(log));
    for (std::string path; std::getline(synced, path);) {
      // A descriptor whose file was replaced flushes nothing that stays.
      staged |= path.rfind(output, 0) == 0 && path.find(" (deleted)") == std::string::npos;
      directory |= staged && path == parent;
    }
    EXPECT_TRUE(staged && directory) << ReadFile(log);
  }
  unsetenv("LD_PRELOAD");
  unsetenv("ULO_FSYNC_LOG");
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
}

}  // namespace
}  // namespace ulo::testing
