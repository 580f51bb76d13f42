// What the three statistics operations share: refused or missing files,
// failed reads, an output that names the input, a full device; each through
// its operation and through its export.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "assoc/pair_filter.h"
#include "assoc/support_records.h"
#include "assoc/top_n_ranker.h"
#include "assoc/word_frequency_table.h"
#include "platform/env.h"
#include "support/fault_env.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::assoc {
namespace {

struct Operation {
  const char* name;
  std::function<bool(const char*, const char*)> run, viaExport;  // (input, output)
  int passes;                                                    // over the input
  bool writesOutputFirst;                                        // before it reads the input
  bool refusesItsInputAsOutput;
};

const Operation kOperations[] = {
    {"filter", [](const char* in, const char* out) { return FilterPairs(in, out, 2); },
     [](const char* in, const char* out) { return ULO_Filtrate(in, out, 2) == 1; }, 1, true, true},
    {"support records",
     [](const char* in, const char* out) { return WriteWordSupportRecords(in, out); },
     [](const char* in, const char* out) { return ULO_GetWordSupportRec(in, out) == 1; }, 2, true,
     true},
    // The ranking reads its input whole before it writes.
    {"top-N", [](const char* in, const char* out) { return GetTopNWordSupport(in, out, 3); },
     [](const char* in, const char* out) { return ULO_GetTopNWordSupportRec(in, out, 3) == 1; }, 2,
     false, false},
};

TEST(StatisticsFilesTest, RefusedMissingAndUnwritableFiles) {
  const std::string input = "a\tb\t1\nc\td\t2\n";
  const std::string sep(1, platform::kPathSeparator);
  for (const Operation& op : kOperations) {
    SCOPED_TRACE(op.name);
    testing::TempDir dir;
    const std::string in = dir.Path("in.txt"), out = dir.Path("out.txt");
    testing::WriteFile(in, input);
    for (const auto& run : {op.run, op.viaExport}) {
      EXPECT_FALSE(run(nullptr, out.c_str()));
      EXPECT_FALSE(run(in.c_str(), nullptr));
      EXPECT_FALSE(testing::FileExists(out));
    }
    EXPECT_FALSE(op.run(dir.Path("missing.txt").c_str(), out.c_str()));
    EXPECT_EQ(testing::FileExists(out), op.writesOutputFirst);
    EXPECT_EQ(testing::ReadFile(out), "");
    EXPECT_FALSE(op.run(in.c_str(), dir.Path("no/such/out.txt").c_str()));
    // A read failing in any pass, after the first bytes.
    for (int pass = 1; pass <= op.passes; ++pass) {
      testing::FaultEnv env;
      env.failRead = testing::FaultEnv::Nth(pass);
      env.readableBytes = 8;
      EXPECT_FALSE(op.run(in.c_str(), out.c_str())) << "pass " << pass;
      EXPECT_FALSE(SharedWordFrequencyTable().holdsStorage());
    }
    EXPECT_EQ(testing::FileExists(out), op.writesOutputFirst);
    // A run after failed ones is as good as a first one.
    EXPECT_TRUE(op.viaExport(in.c_str(), out.c_str()));
    EXPECT_NE(testing::ReadFile(out), "");
    if (op.refusesItsInputAsOutput) {
      for (const std::string& same :
           {in, dir.path() + sep + "." + sep + "in.txt", dir.path() + sep + sep + "in.txt"}) {
        EXPECT_FALSE(op.run(in.c_str(), same.c_str())) << same;
        EXPECT_EQ(testing::ReadFile(in), input);
      }
    }
#if !defined(_WIN32)
    // Nothing to write: nothing fails.
    testing::WriteFile(in, "no pairs here\n");
    EXPECT_TRUE(op.run(in.c_str(), "/dev/full"));
#endif
    EXPECT_FALSE(SharedWordFrequencyTable().holdsStorage());
  }
}

}  // namespace
}  // namespace ulo::assoc
