// What rank and export write in the people's encodings: the words they
// refuse, the characters an encoding lacks, the encodings they cannot write.
#include <gtest/gtest.h>

#include <string>

#include "engine/export/export.h"
#include "engine/stats/rank.h"
#include "run_ulo.h"

namespace ulo::testing {
namespace {

class EncodingOutputTest : public UloCommandTest {
 protected:
  // The failure line without "ulo: COMMAND: ".
  static std::string Sentence(const std::string& err) {
    return err.substr(err.find(": ", err.find(": ") + 2) + 2);
  }
};

// 0xFF is no GB18030 byte: rank dropped it and wrote two "a" lists, where
// export refused the file; both refuse it now, in one sentence.
TEST_F(EncodingOutputTest, WordsOfInvalidBytesAreRefusedAlike) {
  Write("inv.txt", "a\tb\t5\na\xFF\tb\t7\nb\ta\t5\nb\ta\xFF\t7\n");
  std::string rank = Fails("rank {inv.txt} {inv.r} --min-count 1", "not GB18030 text").err;
  std::string csv = Fails("export {inv.txt} {inv.csv} --min-count 1", "not GB18030 text").err;
  EXPECT_EQ(Sentence(rank), Sentence(csv));
  EXPECT_FALSE(Exists("inv.r"));
  // What shows words to people refuses them alike.
  for (const std::string command :
       {"show {inv.txt} b --min-count 1", "graph {inv.txt} b --out {inv.svg} --min-count 1"}) {
    EXPECT_EQ(Sentence(Fails(command, "not GB18030 text").err), Sentence(csv)) << command;
  }
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
    Fails("rank {p.txt} {p.r} --to " + encoding, "ASCII", 2);
    Fails("export {p.txt} {p.csv} --to " + encoding, "ASCII", 2);
    Fails("show {p.txt} a --to " + encoding, "ASCII", 2);
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
  MakeDirectory(dir.Path("pz"));
  Write("pz/1.txt", Read("pz.txt"));
  RunOk("merge {pz} {pz-parts} --parts --jobs 2");
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
