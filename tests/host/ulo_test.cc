// The ulo host tool run as people and scripts run it: as a subprocess.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/export/export.h"
#include "engine/stats/rank.h"
#include "run_ulo.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

using UloTest = UloCommandTest;
// What rank and export write in the people's encodings.
using EncodingOutputTest = UloCommandTest;

// A failure line without "ulo: COMMAND: ".
std::string Sentence(const std::string& err) {
  return err.substr(err.find(": ", err.find(": ") + 2) + 2);
}

// GB2312: 守护 CA D8 BB A4, 进程 BD F8 B3 CC, 文件 CE C4 BC FE; in byte order.
const char kGbPairs[] =
    "\xBD\xF8\xB3\xCC\t\xCE\xC4\xBC\xFE\t1\n\xCA\xD8\xBB\xA4\t\xBD\xF8\xB3\xCC\t5\n"
    "\xCE\xC4\xBC\xFE\tx\t6\n";
// 进程 typed in UTF-8: E8 BF 9B E7 A8 8B.
const std::string kProcess = "\xE8\xBF\x9B\xE7\xA8\x8B";

TEST_F(UloTest, VersionAndHelp) {
  EXPECT_EQ(RunOk("--version").out, "ulo " ULO_VERSION "\n");
  for (std::string command :
       {"count", "merge", "filter", "support", "topn", "run", "show", "words", "demo"}) {
    EXPECT_TRUE(Contains(RunOk(command + " --help").out, "usage: ulo " + command));
  }
}

TEST_F(UloTest, BadArgumentsGiveOneLineAndExitTwo) {
  Write("c.txt", "a b\n");
  const std::string count = "count {c.txt} --work {w}";
  const std::pair<std::string, std::string> cases[] = {
      {"frobnicate", "unknown command 'frobnicate'"},
      {"--frobnicate count", "--frobnicate"},
      {count + " --window 0", "--window: must be at least 1"},
      {count + " --window x", "--window: must be a whole number"},
      {count + " --jobs -1", "--jobs"},
      {count + " --jobs x", "--jobs"},
      {count + " --jobs 100000", "--jobs"},
      {"count {c.txt}", "--work is required"},
      {count + " --from NO-SUCH-ENCODING", "NO-SUCH-ENCODING"},
      {"filter a b notanumber", "THRESHOLD: must be a 32-bit integer"},
      {"filter a b 99999999999", "THRESHOLD: must be a 32-bit integer"},
      {"topn a b 0", "N: must be at least 1"},
      {"merge onlyone", "OUT is required"},
      {"merge a b c", "not expected: c"},
      {"run {c.txt} --out {o} --top 0", "--top"},
      {"show t.txt", "WORD is required"},
      {"show t.txt a --to NO-SUCH-ENCODING", "NO-SUCH-ENCODING"},
      {"words {c.txt} --max-length 1", "max_length takes a whole number from 2"},
      {"words {c.txt} --min-cohesion high", "min_cohesion takes a decimal number"},
      {"graph {c.txt} x --out {g.pdf}", "must end in .svg or .png"},
  };
  for (const auto& [arguments, mentions] : cases)
    Fails(arguments, mentions, 2);
  // Nothing at all: the usage, and still a usage error.
  UloResult none = Run("");
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_TRUE(Contains(none.err, "usage: ulo"));
  // Negative numbers are values, not options; global options may follow the command.
  Write("p.txt", "x\ty\t4\n");
  RunOk("filter {p.txt} {f.txt} -5");
  EXPECT_EQ(Read("f.txt"), "4\tx\ty\n");
  RunOk(count + " --quiet --window 1");
  Fails("--library {nolib.so} merge a b", "cannot load the library");
}

TEST_F(UloTest, EveryIntegerIsDecimalAndOutOfRangeIsRefused) {
  Write("c.txt", "cat dog\n");
  Write("p.txt", "x\ty\t9\n");
  const std::string rank = "rank {p.txt} {r.txt}";
  // Each integer option and argument, its number at %; count makes {w} for merge.
  const std::string commands[] = {"count {c.txt} --work {w} --window %",
                                  "count {c.txt} --work {w} --jobs %",
                                  "run {c.txt} --out {o} --top %",
                                  "run {c.txt} --out {o} --threshold %",
                                  rank + " --top %",
                                  rank + " --min-count %",
                                  rank + " --min-word-count %",
                                  "filter {p.txt} {f.txt} %",
                                  "topn {p.txt} {t.txt} %",
                                  "graph {p.txt} x --out {g.svg} --depth %",
                                  "merge {w} {m.txt} --jobs %",
                                  "words {c.txt} --jobs %"};
  for (const std::string& command : commands) {
    auto with = [&command](const std::string& number) {
      return std::string(command).replace(command.find('%'), 1, number);
    };
    RunOk(with("09"));  // a leading zero makes no octal number
    Fails(with("0x10"), "must be", 2);
    Fails(with("99999999999999999999"), "must be", 2);
  }
  // Ten, not eight: the count 9 does not reach it.
  RunOk("filter {p.txt} {f.txt} 010");
  EXPECT_EQ(Read("f.txt"), "");
}

TEST_F(UloTest, FailuresSayTheirCauseAndExitOne) {
  std::string missing = dir.Path("missing.txt");
  const std::pair<std::string, std::string> cases[] = {
      {"filter {missing.txt} {out.txt} 1", "filter: cannot read " + missing + ": no such file"},
      {"count {missing.txt} --work {w}",
       "count: cannot read the corpus " + missing + ": no such file"},
      {"merge {nodir} {out.txt}",
       "merge: cannot read the directory " + dir.Path("nodir") + ": no such directory"},
      {"show {missing.txt} a",
       "show: cannot read the pair-count file " + missing + ": no such file"},
      // An output that is the input would destroy it.
      {"filter {p.txt} {./p.txt} 1", "are the same file"},
      {"words {c.txt} --out {./c.txt}", "are the same file"},
      {"run {o/pairs.txt} --out {o}", "are the same file"},
      {"run {p.txt} --stopwords {o/ranked.txt} --out {o}", "are the same file"},
      {"run {p.txt} --topn --out {o} --stopwords {o/topn.txt}", "are the same file"},
      {"run {o2/spill/c.txt} --out {o2}", "lies inside " + dir.Path("o2/spill")},
      // Lines cut at LF would run together, set by the option table or not.
      {"words {c.txt} --from IBM937 --out {wo}", "its line end is not the byte LF"},
      // Stop words only: merge would write an empty file, which rank refuses.
      {"run {stop.txt} --out {s}", "run: no pairs were counted from 2 lines (stop words dropped 3"},
  };
  Write("stop.txt", "the\nof a\n");
  Write("p.txt", "x\ty\t4\n");
  // Corpora and stop-word files where the outputs go.
  const char* inputs[] = {"c.txt", "o/pairs.txt", "o/ranked.txt", "o/topn.txt", "o2/spill/c.txt"};
  std::filesystem::create_directories(dir.Path("o"));
  std::filesystem::create_directories(dir.Path("o2/spill"));
  for (const char* input : inputs)
    Write(input, "cat dog\n");
  for (const auto& [arguments, line] : cases)
    Fails(arguments, line);
  EXPECT_EQ(Read("p.txt"), "x\ty\t4\n");
  for (const char* input : inputs)
    EXPECT_EQ(Read(input), "cat dog\n") << input;
  EXPECT_FALSE(Exists("s/pairs.txt"));
  // What a command prints must reach its reader: a full device fails it.
  std::string full = dir.Path("full.err");
  EXPECT_EQ(
      WaitExit(StartUlo({"show", dir.Path("p.txt"), "x", "--min-count", "1"}, "/dev/full", full)),
      1);
  EXPECT_TRUE(Contains(ReadFile(full), "show: cannot write the standard output")) << ReadFile(full);
  if (!RunningAsRoot()) {  // root reads everything
    Write("secret.txt", "x\ty\t1\n");
    chmod(dir.Path("secret.txt").c_str(), 0);
    Fails("filter {secret.txt} {out.txt} 1", "permission denied");
  }
}

TEST_F(UloTest, NewWordsAreUtf8TsvUnderAHeader) {
  // 甲乙 once in GB18030, so ln f = 0.
  Write("zh.txt", "\xBC\xD7\xD2\xD2\n");
  RunOk("words {zh.txt} --out {w.tsv} --min-count 1 --min-freedom 0");
  EXPECT_EQ(Read("w.tsv"),
            "word\tscore\tfrequency\tcohesion\tfreedom\tbefore\tafter\n"
            "\xE7\x94\xB2\xE4\xB9\x99\t0\t1\t1\t0\t0\t0\n");
}

TEST_F(UloTest, FailedMergeGivesItsCodeAndWhatItLoggedThisTime) {
  // A dangling link is listed as an input that cannot be opened (by the
  // library: the check would name it first).
  MakeDirectory(dir.Path("m"));
  Write("m/one.txt", "a\tb\t1\n");
  ASSERT_EQ(symlink("/nonexistent/ulo", dir.Path("m/two.txt").c_str()), 0);
  for (std::string global : {"", "--direct "}) {
    UloResult result = Fails(global + "--trust-input merge {m} {out.txt}",
                             "failed with code -4: an input file could not be opened");
    // The log's line converted from GB2312: "打开文件失败！" and the path.
    for (std::string logged : {dir.Path("out.txt") + "_err.log: ",
                               "\xE6\x89\x93\xE5\xBC\x80\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB1\xE8"
                               "\xB4\xA5\xEF\xBC\x81" +
                                   dir.Path("m/two.txt")})
      EXPECT_TRUE(Contains(result.err, logged));
  }
  // A later failure that logs nothing does not quote the old lines.
  RemoveAll(dir.Path("m"));
  MakeDirectory(dir.Path("m"));
  UloResult empty = Fails("merge {m} {out.txt}", "failed with code -6: no file was found");
  EXPECT_FALSE(Contains(empty.err, "_err.log"));
}

TEST_F(UloTest, CountWritesSortedSpillFiles) {
  Write("c.txt", "b d c\nb d\n");
  // Pairs (b,d), (d,c), (b,d), each counted in both directions.
  UloResult result = RunOk("count {c.txt} --work {w} --window 1 --jobs 1");
  EXPECT_EQ(Read("w/part-1/temp1.txt"), "b\td\t2\nc\td\t1\nd\tb\t2\nd\tc\t1\n");
  EXPECT_TRUE(Contains(result.out, "pairs fed          3"));
  // One way, wider window.
  RunOk("count {c.txt} --work {w2} --window 2 --one-way --jobs 1");
  EXPECT_EQ(Read("w2/part-1/temp1.txt"), "b\tc\t1\nb\td\t2\nd\tc\t1\n");
  // Through the exports, the same spill file; the directory named as "DIR/.",
  // its token counts beside it, not inside.
  RunOk("--direct count {c.txt} --work {w3}/. --window 1 --jobs 1");
  EXPECT_EQ(Read("w3/part-1/temp1.txt"), Read("w/part-1/temp1.txt"));
  EXPECT_EQ(Read("w3.tokens"), Read("w.tokens"));
  // A work directory holding other files would feed them to the merge.
  Fails("count {c.txt} --work {.}", "is not empty");
}

// What each tokenizer and encoding keeps, host_unicode_matches_python holds
// to Python's codecs; here what the summary says of it.
TEST_F(UloTest, WordsWithoutAGb2312FormAreDroppedWholeAndCounted) {
  // Strict GB2312: 進程 and 系統 (Traditional) and brûlée go whole, never
  // cut into 程 or brle; café and crème have GB2312 forms (pinyin row).
  Write("t.txt",
        "\xE9\x80\xB2\xE7\xA8\x8B \xE7\xAE\xA1\xE7\x90\x86 \xE7\xB3\xBB\xE7\xB5\xB1\n"
        "caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
        "e\n");
  UloResult strict =
      RunOk("count {t.txt} --work {s} --from UTF-8 --encoding gb2312 --one-way --jobs 1");
  EXPECT_TRUE(Contains(strict.out, "without a GB2312 form 3"));
  // In the default GB18030 nothing is lost, and nothing is said.
  EXPECT_FALSE(Contains(RunOk("count {t.txt} --work {w} --from UTF-8").out, "skipped"));
  Fails("count {t.txt} --work {s2} --encoding big5", "takes gb18030 or gb2312", 2);
}

TEST_F(UloTest, RunProducesEveryOutputAndShowReadsIt) {
  Write("c.txt", "a b\na b\na d\ne e\n");
  const std::string run = "run {c.txt} --window 1 --top 2 --jobs 1 --no-default-stopwords --out ";
  // Frequencies a 3, b 2, d 1; total 6. A self-pair is no neighbour: the
  // library would list it twice.
  const std::string topn =
      "a\tb\t66.67\t33.33\na\td\t33.33\t16.67\nb\ta\t100.00\t33.33\nd\ta\t100.00\t16.67\n";
  UloResult result = RunOk(run + "{out} --one-way --threshold 2 --support --topn");
  EXPECT_EQ(Read("out/pairs.txt"), "a\tb\t2\na\td\t1\ne\te\t1\n");
  EXPECT_EQ(Read("out/frequent.txt"), "2\ta\tb\n");
  EXPECT_EQ(Read("out/topn.txt"), topn);
  EXPECT_EQ(Read("out/support.txt").rfind("<rec>\n<\xBB\xF9\xD7\xBC\xB9\xE6\xD4\xF2>=a\n", 0), 0u);
  for (const char* line :
       {"distinct pairs     3", "spill files        1", "merge", "ranked.txt", "topn.txt"}) {
    EXPECT_TRUE(Contains(result.out, line)) << line << "\n" << result.out;
  }
  EXPECT_TRUE(Contains(RunOk("show {out/topn.txt} a").out, "66.67%"));
  Fails("show {out/topn.txt} zzz", "'zzz' is not in");
  // By default: the pairs and their ranking, nothing of the library's records.
  RunOk(run + "{d}");
  EXPECT_EQ(Read("d/ranked.txt").rfind("a\tb\t", 0), 0u);
  EXPECT_FALSE(Exists("d/support.txt"));
  EXPECT_FALSE(Exists("d/topn.txt"));
  // Counted both ways, each pair stands on two lines; the top-N file still
  // lists each neighbour once.
  RunOk(run + "{both} --topn");
  EXPECT_EQ(Read("both/topn.txt"), topn);
}

TEST_F(UloTest, ShowRefusesAFileOfAnotherKind) {
  const struct {
    const char *text, *options, *expected;
  } cases[] = {
      {"<rec>\n<x>=a\n", "", "is a support-record file (ulo support), not the pair-count file"},
      {"a\tb\t1.5\t2\tafter\n", "", "is a ranked file (ulo rank), not the pair-count file"},
      {"a\tb\t50.00\t0.00\n", " --measure t",
       "is a top-N file (ulo topn), not the pair-count file"},
  };
  for (const auto& c : cases) {
    Write("f.txt", c.text);
    Fails(std::string("show {f.txt} a") + c.options, c.expected);
  }
  // A support below two decimals is not 0.
  EXPECT_TRUE(Contains(RunOk("show {f.txt} a").out, "<0.01%"));
}

TEST_F(UloTest, FiltersDropTokensBeforePairing) {
  // "the" and "of" are stop words of ulo's lists; "--" and the full-width
  // comma (UTF-8 EF BC 8C) are punctuation. count drops them by default, as
  // run does; the switches keep every token.
  Write("c.txt", "the daemon of -- init \xEF\xBC\x8C x\n");
  const std::string plain = " --window 1 --one-way --from UTF-8 --jobs 1";
  const std::string keep = plain + " --no-default-stopwords --keep-punctuation";
  EXPECT_FALSE(Contains(RunOk("count {c.txt} --work {w1}" + keep).out, "dropped"));
  EXPECT_EQ(Read("w1/part-1/temp1.txt"),
            "--\tinit\t1\ndaemon\tof\t1\n"
            "init\t\xA3\xAC\t1\nof\t--\t1\nthe\tdaemon\t1\n\xA3\xAC\tx\t1\n");
  RunOk("count {c.txt} --work {w2}" + plain);
  EXPECT_EQ(Read("w2/part-1/temp1.txt"), "daemon\tinit\t1\ninit\tx\t1\n");
  RunOk("run {c.txt} --out {o2}" + keep);
  EXPECT_EQ(Read("o2/spill/part-1/temp1.txt"), Read("w1/part-1/temp1.txt"));
  // One FILE to a --stopwords: the corpus after it is counted, not read as stop words.
  Write("sw.txt", "daemon\n");
  Write("c2.txt", "init x\n");
  RunOk("count {c.txt} --stopwords {sw.txt} {c2.txt} --stopwords {sw.txt} --work {w4}" + plain);
  EXPECT_EQ(Read("w4/part-1/temp1.txt"), "init\tx\t2\n");
  Fails("count {c.txt} --work {w3} --stopwords {none.txt}",
        "cannot read the stop-word file " + dir.Path("none.txt") + ": no such file");
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  Fails("count {c.txt} --work {w3} --stopwords {fifo}",
        "fifo: is not a regular file (every counting run of a count reads its stop words)");
  EXPECT_FALSE(Exists("w3"));
}

TEST_F(UloTest, RankShowAndGraphByAMeasure) {
  Write("pairs.txt", kGbPairs);
  RunOk("rank {pairs.txt} {r.txt} --measure dice --top 1 --to GB18030");
  // Frequencies 守护 5, 进程 6, 文件 7, x 6; words in byte order, x first;
  // dice leaves out the line counted once.
  EXPECT_EQ(Read("r.txt"),
            "x\t\xCE\xC4\xBC\xFE\t0.9230769230769231\t6\tbefore\n"
            "\xBD\xF8\xB3\xCC\t\xCA\xD8\xBB\xA4\t0.9090909090909091\t5\tbefore\n"
            "\xCA\xD8\xBB\xA4\t\xBD\xF8\xB3\xCC\t0.9090909090909091\t5\tafter\n"
            "\xCE\xC4\xBC\xFE\tx\t0.9230769230769231\t6\tafter\n");
  // For people, UTF-8 by default: 文件 E6 96 87 E4 BB B6.
  RunOk("rank {pairs.txt} {r8.txt} --measure dice --top 1");
  EXPECT_EQ(Read("r8.txt").substr(0, 9), "x\t\xE6\x96\x87\xE4\xBB\xB6\t");
  // A word not in the file is said to be absent, with why and what is near:
  // 的 (E7 9A 84) is a stop word; 进 begins 进程.
  Fails("show {pairs.txt} \xE7\x9A\x84 --measure dice",
        "is not in " + dir.Path("pairs.txt") + " (a stop word of ulo's lists");
  Fails("show {pairs.txt} \xE8\xBF\x9B --measure dice", "words beginning like it: " + kProcess);
  // show, typed and printed in UTF-8: 守护 E5 AE 88 E6 8A A4.
  std::string shown = RunOk("show {pairs.txt} " + kProcess + " --measure dice").out;
  EXPECT_TRUE(Contains(shown, "dice  count"));
  EXPECT_TRUE(Contains(shown, "1  \xE5\xAE\x88\xE6\x8A\xA4  0.9091      5"));
  RunOk("show {pairs.txt} " + kProcess + " --top 1");  // llr
  // graph: a valid SVG naming the words reached, and its DOT source.
  UloResult graph =
      RunOk("graph {pairs.txt} " + kProcess + " --out {g.svg} --measure llr --depth 2");
  EXPECT_TRUE(Contains(graph.out, "4 words, 3 edges"));
  std::string svg = Read("g.svg");
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u) << svg.substr(0, 100);
  EXPECT_TRUE(Contains(svg, "<svg"));
  EXPECT_EQ(svg.find("</svg>"), svg.size() - 7);
  for (std::string word : {kProcess, std::string("\xE5\xAE\x88\xE6\x8A\xA4"),
                           std::string("\xE6\x96\x87\xE4\xBB\xB6"), std::string("x")})
    EXPECT_TRUE(Contains(svg, ">" + word + "<")) << word;
  EXPECT_TRUE(Exists("g.dot"));
  graph = RunOk("graph {pairs.txt} " + kProcess + " --out {g1.png} --measure llr");
  EXPECT_TRUE(Contains(graph.out, "3 words, 2 edges"));
  EXPECT_EQ(Read("g1.png").substr(0, 4), "\x89PNG");
  // A picture named like an option of dot's is drawn all the same.
  const std::filesystem::path elsewhere = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  graph = Run("graph {pairs.txt} " + kProcess + " --out=-V.svg");
  std::filesystem::current_path(elsewhere);
  EXPECT_EQ(graph.exitCode, 0) << graph.err;
  EXPECT_TRUE(Contains(Read("-V.svg"), "</svg>"));
  Fails("graph {pairs.txt} nowhere --out {g.svg}", "'nowhere' is not in");
  // The DOT source beside the picture would be the pairs themselves.
  Write("p.dot", Read("pairs.txt"));
  Fails("graph {p.dot} " + kProcess + " --out {p.svg}", "are the same file");
  EXPECT_EQ(Read("p.dot"), Read("pairs.txt"));
  Fails("rank {pairs.txt} {r.txt} --measure mi", "--measure: mi not in", 2);
}

// 0xFF is no GB18030 byte: rank dropped it and wrote two "a" lists, where
// export refused the file; both refuse it now, in one sentence.
TEST_F(EncodingOutputTest, WordsOfInvalidBytesAreRefusedAlike) {
  Write("inv.txt", "a\tb\t5\na\xFF\tb\t7\nb\ta\t5\nb\ta\xFF\t7\n");
  std::string csv = Fails("export {inv.txt} {inv.csv} --min-count 1", "not GB18030 text").err;
  // rank, and what shows words to people, refuse them as export does.
  for (const std::string command :
       {"rank {inv.txt} {inv.r} --min-count 1", "show {inv.txt} b --min-count 1",
        "graph {inv.txt} b --out {inv.svg} --min-count 1"}) {
    EXPECT_EQ(Sentence(Fails(command, "not GB18030 text").err), Sentence(csv)) << command;
  }
  EXPECT_FALSE(Exists("inv.r"));
  EXPECT_FALSE(Exists("inv.svg"));
  // Ranked in parts, the directory is named.
  MakeDirectory(dir.Path("inv"));
  Write("inv/1.txt", Read("inv.txt"));
  RunOk("merge {inv} {inv-parts} --parts --jobs 2");
  Fails("rank {inv-parts} {inv.r} --min-count 1", dir.Path("inv-parts") + " holds words");
}

// XML 1.0 has no form for U+FFFE, U+FFFF and most control characters: each
// shows as U+FFFD, and the rest of the word stays.
TEST_F(EncodingOutputTest, GraphsHoldOnlyCharactersXmlAllows) {
  // x U+FFFE, y U+FFFF, z U+0001 (GB18030 84 31 A4 38, 84 31 A4 39, 01).
  Write("odd.txt", "x\x84\x31\xA4\x38\ty\x84\x31\xA4\x39\t3\ny\x84\x31\xA4\x39\tz\x01\t3\n");
  for (const std::string format : {"gexf", "graphml"}) {
    RunOk("export {odd.txt} {odd." + format + "} --min-count 1");
    std::string xml = Read("odd." + format);
    for (const char* forbidden : {"\xEF\xBF\xBE", "\xEF\xBF\xBF", "\x01"})
      EXPECT_FALSE(Contains(xml, forbidden)) << format;
    for (const char* word : {"x\xEF\xBF\xBD", "y\xEF\xBF\xBD", "z\xEF\xBF\xBD"})
      EXPECT_TRUE(Contains(xml, word)) << format;
  }
}

// UTF-16 and its like write ASCII otherwise (with a byte-order mark before
// every word, each converted apart): no reader splits such a file's lines.
// Refused on the command line and by the engine, which the C API reaches.
TEST_F(EncodingOutputTest, EncodingsThatDoNotKeepAsciiAreRefused) {
  Write("p.txt", "a\tb\t5\nb\ta\t5\n");
  for (const std::string encoding : {"UTF-16", "UTF-32LE", "UCS-2", "UTF-7"}) {
    for (const char* command : {"rank {p.txt} {p.r}", "export {p.txt} {p.csv}", "show {p.txt} a"})
      Fails(command + (" --to " + encoding), "ASCII", 2);
    engine::RankOptions options;
    options.to = encoding;
    EXPECT_TRUE(Contains(engine::RankFile(dir.Path("p.txt"), dir.Path("p.r"), options), "ASCII"));
    engine::ExportOptions exported;
    exported.rank = options;
    EXPECT_TRUE(
        Contains(engine::ExportFile(dir.Path("p.txt"), dir.Path("p.csv"), exported), "ASCII"));
  }
  EXPECT_FALSE(Exists("p.r"));
  RunOk("rank {p.txt} {p.r} --to SHIFT_JIS --min-count 1");
  EXPECT_EQ(Read("p.r").substr(0, 4), "a\tb\t");
}

// A character latin1 lacks is written as '?', as documented, and the
// command says how many words lost one, under --quiet too (as tests run).
TEST_F(EncodingOutputTest, WordsWrittenWithQuestionMarksAreCounted) {
  Write("pz.txt", "x\t\xD4\xC2\xC3\xF7\t5\n\xD4\xC2\tx\t5\n");  // x 月明, 月 x
  // Cut at 月: 月明 stands in both ranges' lists (x's, and its own), still one word.
  MakeDirectory(dir.Path("pz-parts"));
  Write("pz-parts/part-00000.txt", "x\t\xD4\xC2\xC3\xF7\t5\n");
  Write("pz-parts/part-00001.txt", "\xD4\xC2\tx\t5\n");
  Write("pz-parts/index.txt", "part-00000.txt\t\t\xD4\xC2\npart-00001.txt\t\xD4\xC2\t\n");
  for (const std::string command :
       {"rank {pz.txt} {pz.r}", "export {pz.txt} {pz.csv}", "rank {pz-parts} {pz-parts.r}"}) {
    UloResult result = RunOk(command + " --to latin1 --min-count 1");
    EXPECT_TRUE(Contains(result.err, "2 words")) << command;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }
  EXPECT_TRUE(Contains(Read("pz.r"), "x\t??\t"));
  EXPECT_TRUE(Contains(Read("pz.csv"), "?,x,"));
  EXPECT_EQ(RunOk("rank {pz.txt} {pz.r} --min-count 1").err, "");
}

}  // namespace
}  // namespace ulo::testing
