// The pieces of the host's count path: the batch that adds up repeated pairs,
// the shares that deal corpora out to workers, the token counts; the checks
// of its inputs, and the staged directory and outputs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "contains.h"
#include "engine/count/shares.h"
#include "engine/count/token_counts.h"
#include "engine/files/checks.h"
#include "engine/files/staging.h"
#include "engine/text/pair_batch.h"
#include "test_support.h"
#include "window_pairs.h"

namespace ulo::testing {
namespace {

using namespace engine;

struct Handed {
  PairCountMap counts;
  uint64_t calls = 0;
  std::map<std::string, uint64_t> tokens;  // told by the batch's tally
};

// Every token of every line, once each, whatever the batch's limits.
std::map<std::string, uint64_t> TokensOf(const TokenLines& lines) {
  std::map<std::string, uint64_t> tokens;
  for (const auto& line : lines) {
    for (const std::string& token : line)
      ++tokens[token];
  }
  return tokens;
}

PairCountMap Batched(const TokenLines& lines, int window, bool oneWay, PairBatch::Limits limits,
                     Handed* handed) {
  PairBatch batch(
      [&](const char* a, const char* b, int32_t count) {
        EXPECT_GT(count, 0);
        ++handed->calls;
        handed->counts[{a, b}] += count;
        if (!oneWay) handed->counts[{b, a}] += count;
        return true;
      },
      !oneWay, limits);
  batch.TallyTokens([&](const PairBatch::Tallied& words) {
    for (const auto& [word, count] : words)
      handed->tokens[std::string(word)] += count;
  });
  for (const auto& tokens : lines) {
    std::vector<std::string_view> views(tokens.begin(), tokens.end());
    EXPECT_TRUE(batch.AddLine(views, window));
  }
  EXPECT_TRUE(batch.Flush());
  return handed->counts;
}

TEST(PairBatchTest, HandsOverTheSameCountsAsOnePairAtATime) {
  std::mt19937 random(7);
  TokenLines lines = SkewedLines(random, 400, 0, 12, 40, "w");
  lines.push_back({"same", "same", "same"});  // (w, w) twice in both directions
  lines.push_back({"alone"});                 // a token without pairs
  // A word larger than the whole byte budget of the tiny limits below, and a
  // line that fills their batch many times over among lines that fit one.
  lines.push_back({std::string(100, 'L'), "x", std::string(100, 'L')});
  std::vector<std::string> longLine;
  for (int t = 0; t < 300; ++t)
    longLine.push_back("long" + std::to_string(t % 70));
  lines.insert(lines.begin() + 30, longLine);
  for (PairBatch::Limits limits :
       {PairBatch::Limits{}, PairBatch::Limits{1, 2, 8}, PairBatch::Limits{3, 5, 30},
        PairBatch::Limits{16, 4, 1 << 10}, PairBatch::Limits{200, 200, 1 << 12}}) {
    for (bool oneWay : {false, true}) {
      for (int window : {1, 4, 7}) {
        SCOPED_TRACE(std::to_string(limits.pairs) + " pairs, one way " + std::to_string(oneWay) +
                     ", window " + std::to_string(window));
        Handed handed;
        PairCountMap expected = WindowPairs(lines, window, oneWay);
        EXPECT_EQ(Batched(lines, window, oneWay, limits, &handed), expected);
        EXPECT_EQ(handed.tokens, TokensOf(lines));
        // Repeats are added up before they cross.
        uint64_t occurrences = 0;
        for (const auto& entry : WindowPairs(lines, window, true))
          occurrences += static_cast<uint64_t>(entry.second);
        if (limits.pairs == PairBatch::Limits{}.pairs) {
          EXPECT_LT(handed.calls, occurrences);
        }
      }
    }
  }
  // (a, b) and (b, a) hand over once, with the count of both.
  Handed handed;
  Batched({{"a", "b"}, {"b", "a"}, {"a", "b"}}, 1, false, {}, &handed);
  EXPECT_EQ(handed.calls, 1u);
  EXPECT_EQ((handed.counts[{"a", "b"}]), 3);
  EXPECT_EQ((handed.counts[{"b", "a"}]), 3);
}

TEST(PairBatchTest, ARefusedPairStopsTheHandOver) {
  int calls = 0;
  PairBatch batch([&](const char*, const char*, int32_t) { return ++calls < 2; }, true,
                  PairBatch::Limits{2, 8, 64});
  std::vector<std::string_view> tokens = {"a", "b", "c", "d", "e"};
  EXPECT_FALSE(batch.AddLine(tokens, 4));
  EXPECT_EQ(calls, 2);
  // Nothing more reaches the library after the refusal.
  EXPECT_FALSE(batch.AddLine(tokens, 4));
  EXPECT_FALSE(batch.Flush());
  EXPECT_EQ(calls, 2);
}

// Every line of the corpora, read through the shares.
std::vector<std::string> ReadShares(const std::vector<std::string>& corpora,
                                    const std::vector<Share>& shares) {
  std::vector<std::string> lines;
  for (const Share& share : shares) {
    for (const Segment& segment : share) {
      SegmentReader reader;
      EXPECT_TRUE(reader.Open(corpora[segment.corpus], segment));
      std::string_view line;
      while (reader.Next(&line))
        lines.emplace_back(line);
      EXPECT_FALSE(reader.failed());
    }
  }
  return lines;
}

TEST(CorpusSharesTest, EveryLineGoesToExactlyOneShareInOrder) {
  TempDir dir;
  std::vector<std::string> texts = {
      "one\ntwo two\nthree three three\n", "",  // an empty corpus
      std::string(5000, 'x') + "\nshort\n",     // a line longer than a share
      "no line end at the end", "\n\n\n"};
  std::vector<std::string> corpora;
  std::vector<std::string> all;
  for (size_t i = 0; i < texts.size(); ++i) {
    corpora.push_back(dir.Path("c" + std::to_string(i)));
    WriteFile(corpora.back(), texts[i]);
    for (size_t at = 0, end; at < texts[i].size(); at = end) {
      end = std::min(texts[i].find('\n', at), texts[i].size() - 1) + 1;
      all.push_back(texts[i].substr(at, end - at));
    }
  }
  for (int parts : {1, 2, 3, 7, 64}) {
    std::vector<Share> shares;
    std::string error;
    ASSERT_TRUE(ShareCorpora(corpora, parts, &shares, &error)) << error;
    EXPECT_LE(shares.size(), static_cast<size_t>(parts));
    EXPECT_EQ(ReadShares(corpora, shares), all) << parts << " parts";
    for (const Share& share : shares) {
      EXPECT_FALSE(share.empty());
      for (const Segment& segment : share) {
        // Every cut is at a line start.
        std::string text = ReadFile(corpora[segment.corpus]);
        EXPECT_TRUE(segment.begin == 0 || text[segment.begin - 1] == '\n');
      }
    }
  }
}

TEST(CorpusSharesTest, SharesAreOfAboutEqualSize) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 10000; ++i)
    text += "line " + std::to_string(i) + "\n";
  WriteFile(dir.Path("c"), text);
  std::vector<Share> shares;
  std::string error;
  ASSERT_TRUE(ShareCorpora({dir.Path("c"), dir.Path("c")}, 3, &shares, &error)) << error;
  ASSERT_EQ(shares.size(), 3u);
  for (const Share& share : shares) {
    uint64_t bytes = 0;
    for (const Segment& segment : share)
      bytes += segment.end - segment.begin;
    EXPECT_NEAR(static_cast<double>(bytes), 2.0 * text.size() / 3, 20);
  }
}

TEST(CorpusSharesTest, StreamsAreReadWholeAndBadCorporaRefused) {
  TempDir dir;
  std::string fifo = dir.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  WriteFile(dir.Path("c"), "a\nb\n");
  std::vector<Share> shares;
  std::string error;
  ASSERT_TRUE(ShareCorpora({dir.Path("c"), fifo}, 2, &shares, &error)) << error;
  int streams = 0;
  for (const Share& share : shares) {
    for (const Segment& segment : share)
      streams += segment.whole ? 1 : 0;
  }
  EXPECT_EQ(streams, 1);

  EXPECT_FALSE(ShareCorpora({dir.Path("missing")}, 2, &shares, &error));
  EXPECT_TRUE(Contains(error, "missing"));
  EXPECT_FALSE(ShareCorpora({dir.path()}, 2, &shares, &error));
  EXPECT_TRUE(Contains(error, "directory"));
}

// Stages a count result for `work` that holds `part`/temp1.txt; commits it
// or, without a part, discards it. The earlier result stays meanwhile.
void Stage(const std::string& work, const std::string& part) {
  std::string error, earlier = ReadFile(work + "/part-1/temp1.txt");
  StagedDirectory staged;
  ASSERT_TRUE(staged.Open(work + "/", &error)) << error;
  EXPECT_EQ(staged.path(), work + ".ulo-partial");
  // A crashed run's leftovers are cleared.
  EXPECT_FALSE(FileExists(staged.path() + "/temp9.txt"));
  if (part.empty()) return staged.Discard();
  MakeDirectory(staged.path() + "/" + part);
  WriteFile(staged.path() + "/" + part + "/temp1.txt", part);
  EXPECT_EQ(ReadFile(work + "/part-1/temp1.txt"), earlier);
  ASSERT_TRUE(staged.Commit(&error)) << error;
}

TEST(TokenCountsTest, WorkersFilesJoinToTheSumsInByteOrder) {
  // Words that share their first 8 bytes or extend each other (the longer
  // first, in the same file), bytes above 0x7F, and one word in both files.
  std::istringstream list(
      "abcdefghij b abcdefgh abcdefgi abc ab \xB0\xA1\xB0\xA1x \xB0\xA1 zzzzzzzzzzzzzzzzza \xFF "
      "zzzzzzzzzzzzzzzzz \x7F");
  const std::vector<std::string> words{std::istream_iterator<std::string>(list), {}};
  TempDir dir;
  std::map<std::string, int64_t> sums;
  std::mt19937 random(7);
  for (int part = 1; part <= 2; ++part) {
    TokenCounts counts;
    counts.SetWindow(3);
    for (size_t i = part - 1; i < words.size(); i += 2) {
      uint64_t count = 1 + random() % 1000;
      counts.Add(words[i], count);
      sums[words[i]] += static_cast<int64_t>(count);
    }
    counts.Add("abc", 5);
    sums["abc"] += 5;
    std::string error;
    ASSERT_TRUE(counts.Write(dir.Path("part-" + std::to_string(part) + ".tokens"), &error))
        << error;
  }
  // A stopped run's file, hidden, is no worker's.
  WriteFile(dir.Path(".part-3-0a1b2c3d.tokens"), "ulo-tokens 1 9 3\nabc\t9\n");
  bool found = false;
  std::string error;
  ASSERT_TRUE(JoinTokenCounts(dir.path(), dir.Path("joined"), &found, &error)) << error;
  EXPECT_TRUE(found);
  int64_t total = 0;
  std::string lines;
  for (const auto& [word, count] : sums) {
    total += count;
    lines += word + "\t" + std::to_string(count) + "\n";
  }
  EXPECT_EQ(ReadFile(dir.Path("joined")), "ulo-tokens 1 " + std::to_string(total) + " 3\n" + lines);
  TokenCounts read;
  ASSERT_TRUE(read.Read(dir.Path("joined"), &error)) << error;
  EXPECT_EQ(read.total(), total);
  EXPECT_EQ(read.Find("abc"), sums["abc"]);
  WriteFile(dir.Path("bad"), "ulo-tokens 1 4 3\nword 4\n");
  EXPECT_FALSE(read.Read(dir.Path("bad"), &error));
  EXPECT_TRUE(Contains(error, "a line is not word TAB count"));
}

TEST(StagedDirectoryTest, ResultAppearsOnlyOnCommitAndReplacesAnEarlierOneWhole) {
  TempDir dir;
  std::string work = dir.Path("runs/w"), error;
  StagedDirectory orphan;  // only the last component is made
  EXPECT_FALSE(orphan.Open(work, &error));
  EXPECT_TRUE(Contains(error, "its parent " + dir.Path("runs") + ": no such directory"));
  EXPECT_FALSE(FileExists(dir.Path("runs")));
  MakeDirectory(dir.Path("runs"));
  Stage(work, "part-1");
  EXPECT_EQ(ReadFile(work + "/part-1/temp1.txt"), "part-1");
  MakeDirectory(work + ".ulo-partial");
  WriteFile(work + ".ulo-partial/temp9.txt", "cut sho");
  Stage(work, "part-2");
  EXPECT_FALSE(FileExists(work + "/part-1"));
  Stage(work, "");  // a failed run
  EXPECT_EQ(ReadFile(work + "/part-2/temp1.txt"), "part-2");
  EXPECT_FALSE(FileExists(work + ".ulo-partial"));
}

TEST(StagedDirectoryTest, RefusesADirectoryWithFilesNoCountWrote) {
  TempDir dir;
  std::string error;
  MakeDirectory(dir.Path("w/part-1"));
  WriteFile(dir.Path("w/part-1/temp1.txt"), "");
  WriteFile(dir.Path("w/temp2.txt"), "");  // the older flat layout counts too
  EXPECT_TRUE(HoldsOnlyCountResult(dir.Path("w")));
  for (const char* stranger : {"w/notes.txt", "w/part-1/notes.txt", "w/part-x/temp1.txt"}) {
    std::string path = dir.Path(stranger);
    MakeDirectory(path.substr(0, path.rfind('/')));
    WriteFile(path, "mine");
    EXPECT_FALSE(HoldsOnlyCountResult(dir.Path("w"))) << stranger;
    StagedDirectory staged;
    EXPECT_FALSE(staged.Open(dir.Path("w"), &error)) << stranger;
    EXPECT_TRUE(Contains(error, "is not empty"));
    EXPECT_FALSE(FileExists(dir.Path("w.ulo-partial")));
    RemoveAll(path);
  }
  WriteFile(dir.Path("file"), "");
  StagedDirectory staged;
  EXPECT_FALSE(staged.Open(dir.Path("file"), &error));
  EXPECT_TRUE(Contains(error, "not a directory"));
}

TEST(CorpusLineTest, TakesGbkTextUpToTheLongestLineAndRefusesBrokenDoubleBytes) {
  // GB2312, GBK beyond it (trail bytes from 0x40), ASCII and blanks.
  EXPECT_EQ(CorpusLineProblem("\xD4\xC2\xC3\xF7 \x81\x40 abc\t\r\n", true), "");
  EXPECT_NE(CorpusLineProblem("\xD4\x7F\n", true), "");
  EXPECT_NE(CorpusLineProblem("\xD4\x30\n", true), "");
  // Without the encoding check (text converted by --from) only the shape
  // counts: 0x80 starts no GB18030 character.
  EXPECT_EQ(CorpusLineProblem("ab\x80xy\n", false), "");
  EXPECT_TRUE(Contains(CorpusLineProblem(std::string("a\0b\n", 4), false), "NUL"));
  // The longest line is taken, whatever its line end; one byte more is not.
  for (const char* end : {"", "\n", "\r\n"})
    EXPECT_EQ(CorpusLineProblem(std::string(kMaxCorpusLine, 'a') + end, true), "") << end;
  EXPECT_NE(CorpusLineProblem(std::string(kMaxCorpusLine + 1, 'a'), true), "");
}

TEST(ContentProblemTest, PairCountFileShapes) {
  TempDir dir;
  // A NUL just past the first look is not seen by it; one inside is.
  WriteFile(dir.Path("late.txt"), std::string(kSniffBytes, '\n') + std::string(1, '\0'));
  EXPECT_EQ(ContentProblem(dir.Path("late.txt"), InputKind::kPairCount), "");
  WriteFile(dir.Path("nul.txt"), std::string(kSniffBytes - 1, '\n') + std::string(1, '\0'));
  EXPECT_TRUE(Contains(ContentProblem(dir.Path("nul.txt"), InputKind::kPairCount), "offset 65535"));
  // A corpus read through --from may hold NULs (UTF-16): not looked for.
  EXPECT_EQ(ContentProblem(dir.Path("nul.txt"), InputKind::kCorpus, false), "");
  // A short file without a line end is no problem (its one line is read),
  // nor a first line of two of a corpus line's longest words; one longer
  // than that is no pair-count file, but may be a corpus.
  WriteFile(dir.Path("short.txt"), "a\tb\t1");
  EXPECT_EQ(ContentProblem(dir.Path("short.txt"), InputKind::kPairCount), "");
  const std::string word(kMaxCorpusLine - 1, 'x');
  WriteFile(dir.Path("long.txt"), word + "\t" + word + "\t1\n");
  EXPECT_EQ(ContentProblem(dir.Path("long.txt"), InputKind::kPairCount), "");
  WriteFile(dir.Path("wide.txt"), std::string(kMaxPairLine, 'x'));
  EXPECT_NE(ContentProblem(dir.Path("wide.txt"), InputKind::kPairCount), "");
  EXPECT_EQ(ContentProblem(dir.Path("wide.txt"), InputKind::kCorpus), "");
}

TEST(StagedOutputTest, AppearsOnlyOnCommitAndLeavesNothingOtherwise) {
  TempDir dir;
  std::string target = dir.Path("out.txt");
  WriteFile(target, "old");
  {
    StagedOutput output(target);
    EXPECT_NE(output.path(), target);
    EXPECT_EQ(output.path().rfind(target, 0), 0u) << "beside the final name";
    WriteFile(output.path(), "half");
  }
  EXPECT_EQ(ReadFile(target), "old");
  std::string staged;
  {
    StagedOutput output(target);
    staged = output.path();
    WriteFile(output.path(), "new");
    std::string error;
    ASSERT_TRUE(output.Commit(&error)) << error;
  }
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_FALSE(FileExists(staged));

  StagedOutput nowhere(dir.Path("no/never.txt"));
  std::string error;
  EXPECT_FALSE(nowhere.Commit(&error));
  EXPECT_TRUE(Contains(error, "never.txt"));
}

TEST(StagedOutputTest, StaleStagingEntriesGoButOnesALiveWriterHoldsStay) {
  TempDir dir;
  // What killed commands left: an output, its merge log, a count's
  // directory; and a file that only looks alike.
  const char* stale[] = {"a.txt.ulo-partial-0badf00d", "a.txt.ulo-partial-0badf00d_err.log",
                         "b.txt.ulo-partial-12345678_err.log", "w.ulo-partial/part-1/temp1.txt"};
  for (const char* name : stale) {
    std::string path = dir.Path(name);
    MakeDirectory(path.substr(0, path.rfind('/')));
    WriteFile(path, "a\tb\t1\n");
  }
  WriteFile(dir.Path("c.txt.ulo-partial-nothex00"), "mine");
  EXPECT_EQ(FindLeftover(dir.path()).find(dir.path()), 0u);
  {
    StagedOutput live(dir.Path("d.txt"));  // holds its lock while it lives
    // A file taken as the output takes the lock with it.
    StagedOutput taking(dir.Path("f.txt"));
    WriteFile(dir.Path("range.txt"), "taken");
    std::string error;
    ASSERT_TRUE(taking.TakeFile(dir.Path("range.txt"), &error)) << error;
    StagedOutput sweeping(dir.Path("e.txt"));
    for (const char* name : stale)
      EXPECT_FALSE(FileExists(dir.Path(name))) << name;
    EXPECT_FALSE(FileExists(dir.Path("w.ulo-partial")));
    EXPECT_TRUE(FileExists(live.path()));
    EXPECT_TRUE(FileExists(dir.Path("c.txt.ulo-partial-nothex00")));
    EXPECT_TRUE(Contains(FindLeftover(dir.path()), ".txt.ulo-partial-"));
    ASSERT_TRUE(taking.Commit(&error)) << error;
    EXPECT_EQ(ReadFile(dir.Path("f.txt")), "taken");
    EXPECT_FALSE(FileExists(dir.Path("range.txt")));
  }
  EXPECT_EQ(FindLeftover(dir.path()), "");
  MakeDirectory(dir.Path("sub/merge_temp"));
  EXPECT_EQ(FindLeftover(dir.path()), dir.Path("sub/merge_temp"));
}

}  // namespace
}  // namespace ulo::testing
