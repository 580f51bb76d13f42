// The statistics exports as a host calls them.
#include <gtest/gtest.h>

#include <string>

#include "assoc/word_frequency_table.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace {

TEST(StatisticsExportsTest, ResultsAsTheOperationsReport) {
  ulo::testing::TempDir dir;
  const std::string in = dir.Path("in.txt");
  const std::string out = dir.Path("out.txt");
  ulo::testing::WriteFile(in, "a\tb\t1\n");

  EXPECT_EQ(ULO_GetWordSupportRec(in.c_str(), out.c_str()), 1);
  EXPECT_EQ(ULO_GetWordSupportRec(nullptr, out.c_str()), 0);
  EXPECT_EQ(ULO_GetWordSupportRec(in.c_str(), nullptr), 0);
  EXPECT_EQ(ULO_GetWordSupportRec(dir.Path("missing.txt").c_str(), out.c_str()), 0);
  EXPECT_EQ(ULO_GetWordSupportRec(in.c_str(), in.c_str()), 0);
  EXPECT_EQ(ulo::testing::ReadFile(in), "a\tb\t1\n");
  EXPECT_FALSE(ulo::assoc::SharedWordFrequencyTable().holdsStorage());

  EXPECT_EQ(ULO_GetTopNWordSupportRec(in.c_str(), out.c_str(), 10), 1);
  EXPECT_EQ(ULO_GetTopNWordSupportRec(nullptr, out.c_str(), 10), 0);
  EXPECT_EQ(ULO_GetTopNWordSupportRec(in.c_str(), nullptr, 10), 0);
  EXPECT_EQ(ULO_GetTopNWordSupportRec(dir.Path("missing.txt").c_str(), out.c_str(), 10), 0);
  EXPECT_EQ(ULO_GetTopNWordSupportRec(in.c_str(), out.c_str(), 0), 0);
}

}  // namespace
