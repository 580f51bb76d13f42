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
}

}  // namespace
}  // namespace ulo::testing
