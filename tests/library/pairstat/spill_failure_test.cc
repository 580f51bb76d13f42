// A spill file that cannot be stored: no cut file is left, the call that
// caused it says so, and counting goes on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "pairstat/pair_accumulator.h"
#include "support/fault_env.h"
#include "support/test_support.h"

namespace ulo::pairstat {
namespace {

using testing::FaultEnv;

TEST(SpillFailureTest, SpillThatCannotBeStoredIsReported) {
  const struct {
    const char* what;
    FaultEnv::Match FaultEnv::*fault;
  } cases[] = {{"create", &FaultEnv::failOpenWrite},
               {"write", &FaultEnv::failWrite},
               {"close", &FaultEnv::failClose}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir work;
    PairAccumulator accumulator(2);
    ASSERT_TRUE(accumulator.Start(work.path().c_str()));
    EXPECT_TRUE(accumulator.AddPair("a", "b", 1));
    {
      FaultEnv failing;
      failing.*c.fault = FaultEnv::Always();
      EXPECT_FALSE(accumulator.AddPair("a", "c", 1));
    }
    // No cut file is left behind; the pairs are gone and numbering goes on.
    EXPECT_FALSE(testing::FileExists(work.Path("temp1.txt")));
    EXPECT_EQ(accumulator.pairCount(), 0);
    EXPECT_TRUE(accumulator.AddPair("c", "d", 1));
    EXPECT_TRUE(accumulator.Finish());
    EXPECT_EQ(testing::ReadAsLf(work.Path("temp2.txt")), "c\td\t1\n");

    // Finish reports its own file likewise.
    PairAccumulator last;
    ASSERT_TRUE(last.Start(work.path().c_str()));
    last.AddPair("e", "f", 1);
    FaultEnv failing;
    failing.*c.fault = FaultEnv::Always();
    EXPECT_FALSE(last.Finish());
    EXPECT_FALSE(testing::FileExists(work.Path("temp1.txt")));
  }
}

TEST(SpillFailureTest, FailedSpillIsReportedByTheCallThatCausedIt) {
  // With a threshold far above a batch, most pairs before the spill are
  // staged; still only the call that adds the last new pair reports it.
  const int32_t threshold = 300;
  for (int repeats : {0, 3}) {
    SCOPED_TRACE(repeats);
    testing::TempDir work;
    PairAccumulator accumulator(threshold);
    ASSERT_TRUE(accumulator.Start(work.path().c_str()));
    for (int32_t i = 0; i + 1 < threshold; ++i) {
      // Known pairs in between never spill.
      for (int r = 0; r <= repeats; ++r)
        ASSERT_TRUE(accumulator.AddPair("w" + std::to_string(i), "x", 1));
    }
    {
      FaultEnv failing;
      failing.failWrite = FaultEnv::Always();
      EXPECT_TRUE(accumulator.AddPair("w0", "x", 1));
      EXPECT_FALSE(accumulator.AddPair("last", "x", 1));
    }
    EXPECT_FALSE(testing::FileExists(work.Path("temp1.txt")));
    EXPECT_TRUE(accumulator.AddPair("after", "x", 2));
    EXPECT_TRUE(accumulator.Finish());
    EXPECT_EQ(testing::ReadAsLf(work.Path("temp2.txt")), "after\tx\t2\n");
  }
}

}  // namespace
}  // namespace ulo::pairstat
