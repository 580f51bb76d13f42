// A spill file that cannot be stored: no cut file is left, the call that
// caused it says so, and counting goes on.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "pairstat/pair_accumulator.h"
#include "platform/env.h"
#include "support/test_support.h"

namespace ulo::pairstat {
namespace {

// Files whose creation, writing or closing fails on request.
class FailingEnv : public platform::EnvWrapper {
 public:
  enum class Fault { kCreate, kWrite, kClose };
  explicit FailingEnv(Fault fault) : EnvWrapper(platform::Env::Default()), fault(fault) {}

  std::unique_ptr<platform::WritableFile> OpenForWrite(const std::string& path, bool append,
                                                       int* error) override {
    if (fault == Fault::kCreate) {
      *error = 28;
      return nullptr;
    }
    auto file = target->OpenForWrite(path, append, error);
    if (!file) return nullptr;
    return std::make_unique<File>(std::move(file), fault);
  }

 private:
  class File : public platform::WritableFile {
   public:
    File(std::unique_ptr<platform::WritableFile> file, Fault fault)
        : file(std::move(file)), fault(fault) {}
    bool Write(const char* data, size_t n, int* error) override {
      if (fault != Fault::kWrite) return file->Write(data, n, error);
      // Stores a part, then fails, as a full disk does.
      file->Write(data, n / 2, error);
      *error = 28;
      return false;
    }
    bool Close(int* error) override {
      bool closed = file->Close(error);
      if (fault != Fault::kClose) return closed;
      *error = 5;
      return false;
    }

   private:
    std::unique_ptr<platform::WritableFile> file;
    Fault fault;
  };

  Fault fault;
};

TEST(SpillFailureTest, SpillThatCannotBeStoredIsReported) {
  for (auto fault :
       {FailingEnv::Fault::kCreate, FailingEnv::Fault::kWrite, FailingEnv::Fault::kClose}) {
    SCOPED_TRACE(static_cast<int>(fault));
    testing::TempDir work;
    PairAccumulator accumulator(2);
    ASSERT_TRUE(accumulator.Start(work.path().c_str()));
    EXPECT_TRUE(accumulator.AddPair("a", "b", 1));
    {
      FailingEnv failing(fault);
      platform::ScopedEnvOverride use(&failing);
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
    FailingEnv failing(fault);
    platform::ScopedEnvOverride use(&failing);
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
      FailingEnv failing(FailingEnv::Fault::kWrite);
      platform::ScopedEnvOverride use(&failing);
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
