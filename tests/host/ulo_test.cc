// The ulo host tool run as people and scripts run it: as a subprocess.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "run_ulo.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

using Result = UloResult;

class UloTest : public ::testing::Test {
 protected:
  Result Run(const std::string& arguments) {
    return ulo::testing::RunUloCommandLine(dir, arguments);
  }

  // A failure is one line on standard error and a non-zero exit.
  void ExpectOneLineFailure(const Result& result, const std::string& mentions) {
    EXPECT_NE(result.exitCode, 0);
    ASSERT_FALSE(result.err.empty());
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_NE(result.err.find(mentions), std::string::npos) << result.err;
  }

  std::string Quote(const std::string& path) { return "'" + path + "'"; }

  TempDir dir;
};

TEST_F(UloTest, VersionAndHelp) {
  Result version = Run("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "ulo " ULO_VERSION "\n");
  for (const char* command :
       {"count", "merge", "filter", "support", "topn", "run", "show", "words", "demo"}) {
    Result help = Run(std::string(command) + " --help");
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_NE(help.out.find(std::string("usage: ulo ") + command), std::string::npos) << command;
  }
}

TEST_F(UloTest, BadArgumentsGiveOneLineAndExitTwo) {
  WriteFile(dir.Path("c.txt"), "a b\n");
  std::string corpus = Quote(dir.Path("c.txt"));
  std::string work = " --work " + Quote(dir.Path("w"));
  struct Case {
    std::string arguments;
    std::string mentions;
  };
  for (const Case& bad : std::vector<Case>{
           {"frobnicate", "unknown command 'frobnicate'"},
           {"--frobnicate count", "--frobnicate"},
           {"count " + corpus + work + " --window 0", "--window: must be at least 1"},
           {"count " + corpus + work + " --window x", "--window: must be a whole number"},
           {"count " + corpus + work + " --window", "--window"},
           {"count " + corpus, "--work is required"},
           {"count " + corpus + work + " --from NO-SUCH-ENCODING", "NO-SUCH-ENCODING"},
           {"count " + corpus + work + " --no-such-option", "--no-such-option"},
           {"filter a b notanumber", "THRESHOLD: must be a 32-bit integer"},
           {"filter a b 99999999999", "THRESHOLD: must be a 32-bit integer"},
           {"topn a b 0", "N: must be at least 1"},
           {"merge onlyone", "OUT is required"},
           {"merge a b c", "not expected: c"},
           {"run " + corpus + " --out " + Quote(dir.Path("o")) + " --top 0", "--top"},
           {"show t.txt", "WORD is required"},
           {"show t.txt a --to NO-SUCH-ENCODING", "NO-SUCH-ENCODING"},
           {"words " + corpus + " --max-length 1", "max_length takes a whole number from 2"},
           {"words " + corpus + " --min-cohesion high", "min_cohesion takes a decimal number"},
       }) {
    Result result = Run(bad.arguments);
    EXPECT_EQ(result.exitCode, 2) << bad.arguments;
    ExpectOneLineFailure(result, bad.mentions);
  }
  // Nothing at all: the usage, and still a usage error.
  Result none = Run("");
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_NE(none.err.find("usage: ulo"), std::string::npos) << none.err;
  // Negative numbers are values, not options.
  WriteFile(dir.Path("p.txt"), "x\ty\t4\n");
  EXPECT_EQ(
      Run("filter " + Quote(dir.Path("p.txt")) + " " + Quote(dir.Path("f.txt")) + " -5").exitCode,
      0);
  EXPECT_EQ(ReadFile(dir.Path("f.txt")), "4\tx\ty\n");
  // Global options may follow the command.
  Result late = Run("count " + corpus + work + " --quiet --window 1");
  EXPECT_EQ(late.exitCode, 0) << late.err;
  Result noLibrary = Run("--library " + Quote(dir.Path("nolib.so")) + " merge a b");
  EXPECT_EQ(noLibrary.exitCode, 1);
  ExpectOneLineFailure(noLibrary, "cannot load the library");
}

TEST_F(UloTest, FailuresSayTheirCauseAndExitOne) {
  std::string missing = dir.Path("missing.txt");
  std::string out = Quote(dir.Path("out.txt"));
  ulo::testing::MakeDirectory(dir.Path("adir"));
  struct Case {
    std::string arguments;
    std::string line;
  };
  for (const Case& failing : std::vector<Case>{
           {"filter " + Quote(missing) + " " + out + " 1",
            "filter: cannot read " + missing + ": no such file"},
           {"support " + Quote(missing) + " " + out,
            "support: cannot read " + missing + ": no such file"},
           {"topn " + Quote(missing) + " " + out + " 3",
            "topn: cannot read " + missing + ": no such file"},
           {"filter " + Quote(dir.Path("adir")) + " " + out + " 1",
            "filter: cannot read " + dir.Path("adir") + ": is a directory"},
           {"support " + Quote(dir.Path("adir")) + " " + out,
            "support: cannot read " + dir.Path("adir") + ": is a directory"},
           {"count " + Quote(missing) + " --work " + Quote(dir.Path("w")),
            "count: cannot read the corpus " + missing + ": no such file"},
           {"words " + Quote(missing),
            "words: cannot read the corpus " + missing + ": no such file"},
           {"merge " + Quote(dir.Path("nodir")) + " " + out,
            "merge: cannot read the directory " + dir.Path("nodir") + ": no such directory"},
           {"show " + Quote(missing) + " a",
            "show: cannot read the pair-count file " + missing + ": no such file"},
       }) {
    Result result = Run(failing.arguments);
    EXPECT_EQ(result.exitCode, 1) << failing.arguments;
    ExpectOneLineFailure(result, failing.line);
  }

  // The output is checked too; an output that is the input would destroy it.
  std::string pairs = Quote(dir.Path("p.txt"));
  WriteFile(dir.Path("p.txt"), "x\ty\t4\n");
  ExpectOneLineFailure(Run("filter " + pairs + " " + Quote(dir.Path("adir")) + " 1"),
                       "filter: cannot write " + dir.Path("adir") + ": is a directory");
  ExpectOneLineFailure(Run("support " + pairs + " " + Quote(dir.Path("no/s.txt"))),
                       "its directory does not exist");
  ExpectOneLineFailure(Run("filter " + pairs + " " + Quote(dir.path() + "/./p.txt") + " 1"),
                       "are the same file");
  EXPECT_EQ(ReadFile(dir.Path("p.txt")), "x\ty\t4\n");

  if (geteuid() != 0) {  // root reads everything
    WriteFile(dir.Path("secret.txt"), "x\ty\t1\n");
    chmod(dir.Path("secret.txt").c_str(), 0);
    ExpectOneLineFailure(Run("filter " + Quote(dir.Path("secret.txt")) + " " + out + " 1"),
                         "permission denied");
  }
}

TEST_F(UloTest, NewWordsAreUtf8TsvUnderAHeader) {
  // New words come out as UTF-8 TSV under a header: 甲乙 once, so ln f = 0.
  WriteFile(dir.Path("zh.txt"), "\xBC\xD7\xD2\xD2\n");  // 甲乙 in GB18030
  Result words = Run("words " + Quote(dir.Path("zh.txt")) + " --out " + Quote(dir.Path("w.tsv")) +
                     " --min-count 1 --min-freedom 0");
  EXPECT_EQ(words.exitCode, 0) << words.err;
  EXPECT_EQ(ReadFile(dir.Path("w.tsv")),
            "word\tscore\tfrequency\tcohesion\tfreedom\tbefore\tafter\n"
            "\xE7\x94\xB2\xE4\xB9\x99\t0\t1\t1\t0\t0\t0\n");
}

TEST_F(UloTest, FailedMergeGivesItsCodeAndWhatItLoggedThisTime) {
  // A dangling link is listed as an input that cannot be opened (by the
  // library: the check would name it first).
  ulo::testing::MakeDirectory(dir.Path("m"));
  WriteFile(dir.Path("m/one.txt"), "a\tb\t1\n");
  ASSERT_EQ(symlink("/nonexistent/ulo", dir.Path("m/two.txt").c_str()), 0);
  std::string out = dir.Path("out.txt");
  for (const char* global : {"", "--direct "}) {
    Result result = Run(std::string(global) + "--trust-input merge " + Quote(dir.Path("m")) + " " +
                        Quote(out));
    EXPECT_EQ(result.exitCode, 1);
    ExpectOneLineFailure(result, "failed with code -4: an input file could not be opened");
    // The log's line converted from GB2312: "打开文件失败！" and the path.
    ExpectOneLineFailure(result, out + "_err.log: ");
    ExpectOneLineFailure(result,
                         "\xE6\x89\x93\xE5\xBC\x80\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB1\xE8"
                         "\xB4\xA5\xEF\xBC\x81" +
                             dir.Path("m/two.txt"));
  }
  // A later failure that logs nothing does not quote the old lines.
  ulo::testing::RemoveAll(dir.Path("m"));
  ulo::testing::MakeDirectory(dir.Path("m"));
  Result empty = Run("merge " + Quote(dir.Path("m")) + " " + Quote(out));
  ExpectOneLineFailure(empty, "failed with code -6: no file was found");
  EXPECT_EQ(empty.err.find("_err.log"), std::string::npos) << empty.err;
}

TEST_F(UloTest, CountWritesSortedSpillFiles) {
  WriteFile(dir.Path("c.txt"), "b d c\nb d\n");
  Result result = Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.Path("w")) +
                      " --window 1 --jobs 1");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  // Pairs (b,d), (d,c), (b,d), each counted in both directions.
  EXPECT_EQ(ReadFile(dir.Path("w/part-1/temp1.txt")), "b\td\t2\nc\td\t1\nd\tb\t2\nd\tc\t1\n");
  EXPECT_NE(result.out.find("pairs fed          3"), std::string::npos) << result.out;

  // One way, wider window.
  Result oneWay = Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.Path("w2")) +
                      " --window 2 --one-way --jobs 1");
  ASSERT_EQ(oneWay.exitCode, 0) << oneWay.err;
  EXPECT_EQ(ReadFile(dir.Path("w2/part-1/temp1.txt")), "b\tc\t1\nb\td\t2\nd\tc\t1\n");

  // Through the exports, the same spill file.
  Result direct = Run("--direct count " + Quote(dir.Path("c.txt")) + " --work " +
                      Quote(dir.Path("w3")) + " --window 1 --jobs 1");
  ASSERT_EQ(direct.exitCode, 0) << direct.err;
  EXPECT_EQ(ReadFile(dir.Path("w3/part-1/temp1.txt")), ReadFile(dir.Path("w/part-1/temp1.txt")));

  // A work directory holding other files would feed them to the merge.
  ExpectOneLineFailure(Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.path())),
                       "is not empty");
}

TEST_F(UloTest, EveryCharacterKeptOrItsWordDroppedWhole) {
  // "月明。x😀月光": in GB18030 nothing is lost; letters of any script are
  // characters of --chars, the full stop and the emoji are not.
  WriteFile(dir.Path("c.txt"),
            "\xE6\x9C\x88\xE6\x98\x8E\xE3\x80\x82x\xF0\x9F\x98\x80\xE6\x9C\x88\xE5\x85\x89\n");
  Result result = Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.Path("w")) +
                      " --chars --from UTF-8 --window 1 --one-way --jobs 1");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  // month D4 C2, bright C3 F7, light B9 E2: GB2312's own bytes.
  EXPECT_EQ(ReadFile(dir.Path("w/part-1/temp1.txt")),
            "x\t\xD4\xC2\t1\n\xC3\xF7\tx\t1\n\xD4\xC2\t\xB9\xE2\t1\n\xD4\xC2\t\xC3\xF7\t1\n");
  EXPECT_EQ(result.out.find("skipped"), std::string::npos) << result.out;

  // Strict GB2312: 進程 and 系統 (Traditional) and brûlée go whole, never
  // cut into 程 or brle; café and crème have GB2312 forms (pinyin row).
  WriteFile(dir.Path("t.txt"),
            "\xE9\x80\xB2\xE7\xA8\x8B \xE7\xAE\xA1\xE7\x90\x86 \xE7\xB3\xBB\xE7\xB5\xB1\n"
            "caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
            "e\n");
  Result strict = Run("count " + Quote(dir.Path("t.txt")) + " --work " + Quote(dir.Path("s")) +
                      " --from UTF-8 --encoding gb2312 --one-way --jobs 1");
  ASSERT_EQ(strict.exitCode, 0) << strict.err;
  EXPECT_EQ(ReadFile(dir.Path("s/part-1/temp1.txt")), "caf\xA8\xA6\tcr\xA8\xA8me\t1\n");
  EXPECT_NE(strict.out.find("without a GB2312 form 3"), std::string::npos) << strict.out;
  ExpectOneLineFailure(Run("count " + Quote(dir.Path("t.txt")) + " --work " +
                           Quote(dir.Path("s2")) + " --encoding big5"),
                       "takes gb18030 or gb2312");
}

TEST_F(UloTest, RunProducesEveryOutputAndShowReadsIt) {
  WriteFile(dir.Path("c.txt"), "a b\na b\na d\n");
  std::string run = "run " + Quote(dir.Path("c.txt")) + " --window 1 --top 2 --jobs 1 " +
                    "--no-default-stopwords --out ";
  Result result = Run(run + Quote(dir.Path("out")) + " --one-way --threshold 2 --support --topn");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(dir.Path("out/pairs.txt")), "a\tb\t2\na\td\t1\n");
  EXPECT_EQ(ReadFile(dir.Path("out/frequent.txt")), "2\ta\tb\n");
  // Frequencies a 3, b 2, d 1; total 6.
  EXPECT_EQ(ReadFile(dir.Path("out/topn.txt")),
            "a\tb\t66.67\t33.33\na\td\t33.33\t16.67\nb\ta\t100.00\t33.33\nd\ta\t100.00\t16.67\n");
  std::string support = ReadFile(dir.Path("out/support.txt"));
  EXPECT_EQ(support.rfind("<rec>\n<\xBB\xF9\xD7\xBC\xB9\xE6\xD4\xF2>=a\n", 0), 0u) << support;
  for (const char* line :
       {"distinct pairs     2", "spill files        1", "merge", "ranked.txt", "topn.txt"}) {
    EXPECT_NE(result.out.find(line), std::string::npos) << line << "\n" << result.out;
  }

  Result show = Run("show " + Quote(dir.Path("out/topn.txt")) + " a");
  ASSERT_EQ(show.exitCode, 0) << show.err;
  EXPECT_NE(show.out.find("66.67%"), std::string::npos) << show.out;
  Result missing = Run("show " + Quote(dir.Path("out/topn.txt")) + " zzz");
  ExpectOneLineFailure(missing, "'zzz' is not in");

  // By default: the pairs and their ranking, nothing of the library's records.
  ASSERT_EQ(Run(run + Quote(dir.Path("d"))).exitCode, 0);
  EXPECT_EQ(ReadFile(dir.Path("d/ranked.txt")).rfind("a\tb\t", 0), 0u);
  EXPECT_FALSE(FileExists(dir.Path("d/support.txt")));
  EXPECT_FALSE(FileExists(dir.Path("d/topn.txt")));
  // Counted both ways, each pair stands on two lines; the top-N file still
  // lists each neighbour once.
  ASSERT_EQ(Run(run + Quote(dir.Path("both")) + " --topn").exitCode, 0);
  EXPECT_EQ(ReadFile(dir.Path("both/topn.txt")),
            "a\tb\t66.67\t33.33\na\td\t33.33\t16.67\nb\ta\t100.00\t33.33\nd\ta\t100.00\t16.67\n");
}

TEST_F(UloTest, ShowRefusesAFileOfAnotherKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"<rec>\n<x>=a\n", "is a support-record file (ulo support), not the pair-count file"},
      {"a\tb\t1.5\t2\tafter\n", "is a ranked file (ulo rank), not the pair-count file"},
  };
  for (auto [text, expected] : cases) {
    WriteFile(dir.Path("f.txt"), text);
    ExpectOneLineFailure(Run("show " + Quote(dir.Path("f.txt")) + " a"), expected);
  }
  WriteFile(dir.Path("f.txt"), "a\tb\t50.00\t0.00\n");
  ExpectOneLineFailure(Run("show " + Quote(dir.Path("f.txt")) + " a --measure t"),
                       "is a top-N file (ulo topn), not the pair-count file");
  // A support below two decimals is not 0.
  Result shown = Run("show " + Quote(dir.Path("f.txt")) + " a");
  EXPECT_NE(shown.out.find("<0.01%"), std::string::npos) << shown.out;
}

TEST_F(UloTest, FiltersDropTokensBeforePairing) {
  // "the" and "of" are stop words of ulo's lists, "x" one of the file's;
  // "--" and the full-width comma (UTF-8 EF BC 8C) are punctuation.
  WriteFile(dir.Path("c.txt"), "the daemon of -- init \xEF\xBC\x8C x\n");
  WriteFile(dir.Path("stop.txt"), "X\n");
  std::string corpus = Quote(dir.Path("c.txt"));
  Result run =
      Run("run " + corpus + " --out " + Quote(dir.Path("o")) +
          " --window 1 --one-way --from UTF-8 --jobs 1 --stopwords " + Quote(dir.Path("stop.txt")));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.Path("o/pairs.txt")), "daemon\tinit\t1\n");
  EXPECT_NE(run.out.find("stop words dropped 3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("punctuation, symbols and digits dropped 2"), std::string::npos)
      << run.out;

  // count drops the same by default; the same switches keep every token.
  Result plain = Run("count " + corpus + " --work " + Quote(dir.Path("w1")) +
                     " --window 1 --one-way --no-default-stopwords --keep-punctuation"
                     " --from UTF-8 --jobs 1");
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(ReadFile(dir.Path("w1/part-1/temp1.txt")),
            "--\tinit\t1\ndaemon\tof\t1\n"
            "init\t\xA3\xAC\t1\nof\t--\t1\nthe\tdaemon\t1\n\xA3\xAC\tx\t1\n");
  EXPECT_EQ(plain.out.find("dropped"), std::string::npos) << plain.out;
  Result asked = Run("count " + corpus + " --work " + Quote(dir.Path("w2")) +
                     " --window 1 --one-way --from UTF-8 --jobs 1");
  ASSERT_EQ(asked.exitCode, 0) << asked.err;
  EXPECT_EQ(ReadFile(dir.Path("w2/part-1/temp1.txt")), "daemon\tinit\t1\ninit\tx\t1\n");
  Result kept =
      Run("run " + corpus + " --out " + Quote(dir.Path("o2")) +
          " --window 1 --one-way --no-default-stopwords --keep-punctuation --from UTF-8 --jobs 1");
  ASSERT_EQ(kept.exitCode, 0) << kept.err;
  EXPECT_EQ(ReadFile(dir.Path("o2/spill/part-1/temp1.txt")),
            ReadFile(dir.Path("w1/part-1/temp1.txt")));

  ExpectOneLineFailure(Run("count " + corpus + " --work " + Quote(dir.Path("w3")) +
                           " --stopwords " + Quote(dir.Path("none.txt"))),
                       "cannot read the stop-word file " + dir.Path("none.txt") + ": no such file");
  EXPECT_FALSE(FileExists(dir.Path("w3")));
}

TEST_F(UloTest, RankShowAndGraphByAMeasure) {
  // GB2312: 守护 CA D8 BB A4, 进程 BD F8 B3 CC, 文件 CE C4 BC FE; in byte order.
  WriteFile(dir.Path("pairs.txt"),
            "\xBD\xF8\xB3\xCC\t\xCE\xC4\xBC\xFE\t1\n"
            "\xCA\xD8\xBB\xA4\t\xBD\xF8\xB3\xCC\t5\n"
            "\xCE\xC4\xBC\xFE\tx\t6\n");
  std::string pairs = Quote(dir.Path("pairs.txt"));
  ASSERT_EQ(
      Run("rank " + pairs + " " + Quote(dir.Path("r.txt")) + " --measure dice --top 1 --to GB18030")
          .exitCode,
      0);
  // Frequencies 守护 5, 进程 6, 文件 7, x 6; words in byte order, x first;
  // dice leaves out the line counted once.
  EXPECT_EQ(ReadFile(dir.Path("r.txt")),
            "x\t\xCE\xC4\xBC\xFE\t0.9230769230769231\t6\tbefore\n"
            "\xBD\xF8\xB3\xCC\t\xCA\xD8\xBB\xA4\t0.9090909090909091\t5\tbefore\n"
            "\xCA\xD8\xBB\xA4\t\xBD\xF8\xB3\xCC\t0.9090909090909091\t5\tafter\n"
            "\xCE\xC4\xBC\xFE\tx\t0.9230769230769231\t6\tafter\n");

  // For people, UTF-8 by default: 文件 E6 96 87 E4 BB B6.
  ASSERT_EQ(
      Run("rank " + pairs + " " + Quote(dir.Path("r8.txt")) + " --measure dice --top 1").exitCode,
      0);
  EXPECT_EQ(ReadFile(dir.Path("r8.txt")).substr(0, 9), "x\t\xE6\x96\x87\xE4\xBB\xB6\t");

  // A word not in the file is said to be absent, with why and what is near:
  // 的 (E7 9A 84) is a stop word; 进 begins 进程.
  ExpectOneLineFailure(Run("show " + pairs + " \xE7\x9A\x84 --measure dice"),
                       "is not in " + dir.Path("pairs.txt") + " (a stop word of ulo's lists");
  ExpectOneLineFailure(Run("show " + pairs + " \xE8\xBF\x9B --measure dice"),
                       "words beginning like it: \xE8\xBF\x9B\xE7\xA8\x8B");

  // show, typed and printed in UTF-8: 进程 E8 BF 9B E7 A8 8B, 守护 E5 AE 88 E6 8A A4.
  Result show = Run("show " + pairs + " \xE8\xBF\x9B\xE7\xA8\x8B --measure dice");
  ASSERT_EQ(show.exitCode, 0) << show.err;
  EXPECT_NE(show.out.find("dice  count"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("1  \xE5\xAE\x88\xE6\x8A\xA4  0.9091      5"), std::string::npos)
      << show.out;
  EXPECT_EQ(Run("show " + pairs + " \xE8\xBF\x9B\xE7\xA8\x8B --top 1").exitCode, 0);  // llr

  // graph: a valid SVG naming the words reached, and its DOT source.
  Result graph = Run("graph " + pairs + " \xE8\xBF\x9B\xE7\xA8\x8B --out " +
                     Quote(dir.Path("g.svg")) + " --measure llr --depth 2");
  ASSERT_EQ(graph.exitCode, 0) << graph.err;
  EXPECT_NE(graph.out.find("4 words, 3 edges"), std::string::npos) << graph.out;
  std::string svg = ReadFile(dir.Path("g.svg"));
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u) << svg.substr(0, 100);
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_EQ(svg.find("</svg>"), svg.size() - 7);
  for (const char* word : {">\xE8\xBF\x9B\xE7\xA8\x8B<", ">\xE5\xAE\x88\xE6\x8A\xA4<",
                           ">\xE6\x96\x87\xE4\xBB\xB6<", ">x<"}) {
    EXPECT_NE(svg.find(word), std::string::npos) << word;
  }
  EXPECT_TRUE(ulo::testing::FileExists(dir.Path("g.dot")));
  Result shallow = Run("graph " + pairs + " \xE8\xBF\x9B\xE7\xA8\x8B --out " +
                       Quote(dir.Path("g1.png")) + " --measure llr");
  ASSERT_EQ(shallow.exitCode, 0) << shallow.err;
  EXPECT_NE(shallow.out.find("3 words, 2 edges"), std::string::npos) << shallow.out;
  EXPECT_EQ(ReadFile(dir.Path("g1.png")).substr(0, 4), "\x89PNG");

  Result badOut = Run("graph " + pairs + " x --out " + Quote(dir.Path("g.pdf")));
  EXPECT_EQ(badOut.exitCode, 2);
  ExpectOneLineFailure(badOut, "must end in .svg or .png");
  ExpectOneLineFailure(Run("graph " + pairs + " nowhere --out " + Quote(dir.Path("g.svg"))),
                       "'nowhere' is not in");
  ExpectOneLineFailure(Run("rank " + pairs + " " + Quote(dir.Path("r.txt")) + " --measure mi"),
                       "--measure: mi not in");
}

TEST_F(UloTest, SingleOperations) {
  WriteFile(dir.Path("pairs.txt"), "x\ty\t4\n");
  ASSERT_EQ(Run("filter " + Quote(dir.Path("pairs.txt")) + " " + Quote(dir.Path("f.txt")) + " 4")
                .exitCode,
            0);
  EXPECT_EQ(ReadFile(dir.Path("f.txt")), "4\tx\ty\n");
  ASSERT_EQ(
      Run("topn " + Quote(dir.Path("pairs.txt")) + " " + Quote(dir.Path("t.txt")) + " 1").exitCode,
      0);
  EXPECT_EQ(ReadFile(dir.Path("t.txt")), "x\ty\t100.00\t50.00\ny\tx\t100.00\t50.00\n");
  ASSERT_EQ(
      Run("support " + Quote(dir.Path("pairs.txt")) + " " + Quote(dir.Path("s.txt"))).exitCode, 0);
  EXPECT_NE(ReadFile(dir.Path("s.txt")).find("=100.000000\n"), std::string::npos);

  ulo::testing::MakeDirectory(dir.Path("m/sub"));
  WriteFile(dir.Path("m/one.txt"), "a\tb\t1\n");
  WriteFile(dir.Path("m/sub/two.txt"), "a\tb\t2\nc\td\t1\n");
  ASSERT_EQ(Run("merge " + Quote(dir.Path("m")) + " " + Quote(dir.Path("merged.txt"))).exitCode, 0);
  EXPECT_EQ(ReadFile(dir.Path("merged.txt")), "a\tb\t3\nc\td\t1\n");
}

}  // namespace
}  // namespace ulo::testing
