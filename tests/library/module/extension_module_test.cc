// The extension object's command protocol: buffer signature, name matching,
// argument unpacking and statuses, checked against fake exports; then the
// object's slots as a C host sees them.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "library/module/fake_exports.h"
#include "module/extension_module.h"
#include "platform/env.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::testing {
namespace {

constexpr char kBegin[] = "ULO_Stat_AssociatedFreq_Begin";
constexpr char kAddPair[] = "ULO_Stat_AssociatedFreq";
constexpr char kMerge[] = "ULO_MulMergeFile";
constexpr char kFilter[] = "ULO_Filtrate";
constexpr char kSupport[] = "ULO_GetWordSupportRec";

class CommandTest : public FakeModuleTest {
 protected:
  // None of these commands should wait.
  void TearDown() override { EXPECT_EQ(env.sleeps.load(), 0); }
};

TEST_F(CommandTest, OnlyTheSignatureOfTheHeaderCounts) {
  // Bytes 4 to 6 must be "R!" and a NUL; CommandBuffer fills the others
  // with junk, and zeros do as well.
  auto send = [&](size_t offset, char value) {
    CommandBuffer buffer(kFilter);
    return buffer.String("in").String("out").Int32(1).Set(offset, value).SendTo(module.get());
  };
  for (auto [offset, value] :
       {std::pair<size_t, char>{4, 'R'}, {4, '\0'}, {5, '?'}, {5, '\0'}, {6, 'x'}, {6, '\x01'}})
    EXPECT_EQ(send(offset, value), module::kStatusNoSignature) << "byte " << offset;
  for (size_t offset : {0, 1, 2, 3, 7, 8})
    EXPECT_EQ(send(offset, '\0'), 0) << "byte " << offset;
  EXPECT_EQ(module->Execute(nullptr, 0, nullptr, 0), module::kStatusNoSignature);
  EXPECT_EQ(CalledExports(), std::vector<std::string>(6, "filter"));
}

TEST_F(CommandTest, NamesMatchInAnyLetterCaseAndNothingElse) {
  struct Case {
    const char* name;
    const char* exportName;  // null: an unknown command
  } cases[] = {
      {"ulo_filtrate", "filter"},
      {"ULO_FILTRATE", "filter"},
      {"uLo_FiLtRaTe", "filter"},
      {"ulo_mulmergefile", "merge"},
      {"ULO_GETWORDSUPPORTREC", "support"},
      {"ulo_stat_associatedfreq_begin", "begin"},
      {"Ulo_Stat_AssociatedFreq", "addPair"},
      {"ULO_STAT_ASSOCIATEDFREQ_END", "end"},
      {"ULO_FiltrateX", nullptr},
      {"ULO_Filtrat", nullptr},
      {"ULO_Stat_AssociatedFreq_Beginning", nullptr},
      {"ULO_Stat_AssociatedFreq_", nullptr},
      {"ULO_GetTopNWordSupportRec", nullptr},  // reached only through its export
      {" ULO_Filtrate", nullptr},
      {"ULO_Filtrate ", nullptr},
      {"", nullptr},
      {"ULO_\xB0\xA1", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFakes();
    // Every block is long enough for any command.
    CommandBuffer buffer(c.name);
    buffer.String("a").String("b").Int32(1).Byte(0);
    if (c.exportName == nullptr) {
      EXPECT_EQ(buffer.SendTo(module.get()), module::kStatusUnknownCommand);
      EXPECT_TRUE(CalledExports().empty());
    } else {
      EXPECT_EQ(buffer.SendTo(module.get()), 0);
      EXPECT_EQ(CalledExports(), std::vector<std::string>{c.exportName});
    }
  }
}

TEST_F(CommandTest, PairAddUnpacksWordsCountAndFlag) {
  ASSERT_EQ(CommandBuffer(kBegin).String("dir").SendTo(module.get()), 0);
  struct Case {
    std::string word1, word2;
    int32_t count;
    unsigned char flag;
    int32_t status = 0;
  } cases[] = {
      // Word lengths move the count to every alignment; the block ends with
      // the flag byte, so reading past it would be caught.
      {"\xB0\xA1", "\xB0\xA2", 3, 0},
      {"a", "\xB0\xA1\xB0\xA2", -2, 1},
      {"ab", "cd", 0x12345678, 0x80},
      {"abc", "d", INT32_MIN, 0xFF},
      {"abcd", "e", 0, 1},
      // An empty word1 is handed over, and its refusal reported.
      {"", "\xB0\xA1", 7, 1, module::kStatusPairRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word1 + "/" + c.word2);
    ResetFakes();
    CommandBuffer buffer(kAddPair);
    buffer.String(c.word1).String(c.word2).Int32(c.count).Byte(c.flag);
    EXPECT_EQ(buffer.SendTo(module.get()), c.status);
    std::vector<FakeCall> calls = Fakes().Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].strings, (std::vector<std::string>{c.word1, c.word2}));
    EXPECT_EQ(calls[0].number, c.count);
    EXPECT_EQ(calls[0].flag & 0xFF, c.flag);
  }
}

TEST_F(CommandTest, PairAddBeforeBeginReadsNothing) {
  // No argument block at all: reading one would run off the buffer.
  EXPECT_EQ(CommandBuffer(kAddPair).SendTo(module.get()), module::kStatusPairRefused);
  EXPECT_TRUE(CalledExports().empty());
}

TEST_F(CommandTest, FileCommandsUnpackPathsAndThreshold) {
  const std::string dir = "/data/\xB0\xA1 run";
  const std::string out = "/data/out.txt";
  EXPECT_EQ(CommandBuffer(kMerge).String(dir).String(out).SendTo(module.get()), 0);
  EXPECT_EQ(CommandBuffer(kSupport).String(out).String(dir).SendTo(module.get()), 0);
  for (int32_t threshold : {5, -1, 0x01020304}) {
    EXPECT_EQ(CommandBuffer(kFilter).String(dir).String("x").Int32(threshold).SendTo(module.get()),
              0);
  }
  EXPECT_EQ(CommandBuffer(kBegin).String(dir).SendTo(module.get()), 0);

  std::vector<FakeCall> calls = Fakes().Calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].strings, (std::vector<std::string>{dir, out}));
  EXPECT_EQ(calls[1].strings, (std::vector<std::string>{out, dir}));
  EXPECT_EQ(calls[2].strings, (std::vector<std::string>{dir, "x"}));
  EXPECT_EQ(calls[2].number, 5);
  EXPECT_EQ(calls[3].number, -1);
  EXPECT_EQ(calls[4].number, 0x01020304);
  EXPECT_EQ(calls[5].strings, std::vector<std::string>{dir});
}

// Every other export's refusal, and every success, has its status checked
// above, in the guards' tests and in the pipeline's; a merge fails with any
// code but 0.
TEST_F(CommandTest, AnyMergeCodeButZeroIsAFailedMerge) {
  for (int32_t code : {-8, -1}) {
    Fakes().mergeResult = code;
    EXPECT_EQ(CommandBuffer(kMerge).String("d").String("o").SendTo(module.get()),
              module::kStatusMergeFailed)
        << code;
  }
}

TEST(ExtensionObjectTest, FactoryMakesSeparateObjectsACHostReachesThroughEightSlots) {
  ExtensionModule* module = nullptr;
  ExtensionModule* second = nullptr;
  ASSERT_EQ(VornModule_CreateInstance(0, &module), 0);
  ASSERT_EQ(VornModule_CreateInstance(-1, &second), 0);  // the factory takes any first argument
  ASSERT_NE(module, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(module, second);
  second->Release();
  EXPECT_EQ(VornModule_CreateInstance(0, nullptr), 0);
  // What a C host reads: the object begins with a pointer to the table.
  const ExtensionModuleVtbl* table = *reinterpret_cast<const ExtensionModuleVtbl* const*>(module);
  table->ReservedA(ULO_SELF(module));
  EXPECT_EQ(table->ReservedB(ULO_SELF(module)), 1);
  table->ReservedC(ULO_SELF(module), 3);
  EXPECT_EQ(table->ReservedD(ULO_SELF(module), 4), 1);
  table->ReservedE(ULO_SELF(module), 5);
  table->SetHostValue(ULO_SELF(module), 0x1234);
  EXPECT_EQ(static_cast<module::ExtensionModuleImpl*>(module)->HostValue(), 0x1234);
  const std::string bytes = CommandBuffer("ULO_Nothing").Bytes();
  int32_t value = 0;
  EXPECT_EQ(table->Execute(ULO_SELF(module), bytes.data(), 0, &value, 0),
            module::kStatusUnknownCommand);
  EXPECT_EQ(table->Execute(ULO_SELF(module), bytes.data(), 0, nullptr, 0),
            module::kStatusUnknownCommand);
  table->Release(ULO_SELF(module));  // the leak checker sees whether the object went
}

}  // namespace
}  // namespace ulo::testing
