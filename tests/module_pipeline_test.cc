// The whole pipeline as a host drives it: the library loaded with dlopen, the
// eight exports resolved by name, the counting run, the merge, the filter and
// the support records sent as command buffers, the top-N ranking through its
// export.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "vorn_ulo.h"

namespace {

using ulo::testing::ReadFile;
using ulo::testing::TempDir;
using ulo::testing::WriteFile;

// GB2312: moon D4 C2, bright C3 F7, mountain C9 BD.
const std::string kMoon = "\xD4\xC2";
const std::string kBright = "\xC3\xF7";
const std::string kMountain = "\xC9\xBD";

class Command {
 public:
  explicit Command(const std::string& name) : bytes(9, '\0') {
    bytes[4] = 'r';
    bytes[5] = '!';
    String(name);
  }
  Command& String(const std::string& text) {
    bytes += text;
    bytes.push_back('\0');
    return *this;
  }
  Command& Int32(int32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<char>(static_cast<uint32_t>(value) >> shift));
    }
    return *this;
  }
  Command& Flag(char value) {
    bytes.push_back(value);
    return *this;
  }
  std::string bytes;
};

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library = dlopen(ULO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name :
         {"ULO_Filtrate", "ULO_GetTopNWordSupportRec", "ULO_GetWordSupportRec", "ULO_MulMergeFile",
          "ULO_Stat_AssociatedFreq", "ULO_Stat_AssociatedFreq_Begin", "ULO_Stat_AssociatedFreq_End",
          "VornModule_CreateInstance"}) {
      EXPECT_NE(dlsym(library, name), nullptr) << name;
    }
    create = reinterpret_cast<decltype(&VornModule_CreateInstance)>(
        dlsym(library, "VornModule_CreateInstance"));
    topN = reinterpret_cast<decltype(&ULO_GetTopNWordSupportRec)>(
        dlsym(library, "ULO_GetTopNWordSupportRec"));
    ASSERT_NE(create, nullptr);
    ASSERT_EQ(create(0, &module), 0);
    ASSERT_NE(module, nullptr);
  }

  void TearDown() override {
    if (module != nullptr) module->Release();
    if (library != nullptr) dlclose(library);
  }

  int32_t Send(ExtensionModule* target, const Command& command) {
    int32_t value = 0;
    return target->Execute(command.bytes.data(), 0, &value, 0);
  }
  int32_t Send(const Command& command) { return Send(module, command); }

  int32_t AddPair(ExtensionModule* target, const std::string& a, const std::string& b,
                  int32_t count, char oneWay) {
    return Send(target,
                Command("ULO_Stat_AssociatedFreq").String(a).String(b).Int32(count).Flag(oneWay));
  }

  void* library = nullptr;
  decltype(&VornModule_CreateInstance) create = nullptr;
  decltype(&ULO_GetTopNWordSupportRec) topN = nullptr;
  ExtensionModule* module = nullptr;
  TempDir dir;
};

TEST_F(PipelineTest, CountMergeFilterSupportTopN) {
  ulo::testing::MakeDirectory(dir.Path("spill"));
  ASSERT_EQ(Send(Command("ULO_Stat_AssociatedFreq_Begin").String(dir.Path("spill"))), 0);
  EXPECT_EQ(AddPair(module, kMoon, kBright, 3, 0), 0);    // both directions
  EXPECT_EQ(AddPair(module, kMoon, kMountain, 1, 1), 0);  // one way
  EXPECT_EQ(AddPair(module, kMoon, kBright, 1, 0), 0);
  EXPECT_EQ(AddPair(module, "", kBright, 1, 0), -4351);  // an empty word is refused
  ASSERT_EQ(Send(Command("ULO_Stat_AssociatedFreq_End")), 0);
  EXPECT_EQ(ReadFile(dir.Path("spill/temp1.txt")), kBright + "\t" + kMoon + "\t4\n" + kMoon + "\t" +
                                                       kBright + "\t4\n" + kMoon + "\t" +
                                                       kMountain + "\t1\n");

  // A second file of the same run's shape, so the merge sums across files.
  ulo::testing::MakeDirectory(dir.Path("spill/more"));
  WriteFile(dir.Path("spill/more/temp9.txt"), kMoon + "\t" + kMountain + "\t5\n");
  ASSERT_EQ(
      Send(Command("ULO_MulMergeFile").String(dir.Path("spill")).String(dir.Path("pairs.txt"))), 0);
  const std::string pairs = kBright + "\t" + kMoon + "\t4\n" + kMoon + "\t" + kBright + "\t4\n" +
                            kMoon + "\t" + kMountain + "\t6\n";
  EXPECT_EQ(ReadFile(dir.Path("pairs.txt")), pairs);
  EXPECT_FALSE(ulo::testing::FileExists(dir.Path("merge_temp")));

  ASSERT_EQ(Send(Command("uLo_fIlTrAtE")
                     .String(dir.Path("pairs.txt"))
                     .String(dir.Path("frequent.txt"))
                     .Int32(5)),
            0);
  EXPECT_EQ(ReadFile(dir.Path("frequent.txt")), "6\t" + kMoon + "\t" + kMountain + "\n");

  // Frequencies: bright 8, moon 14, mountain 6; total 28.
  ASSERT_EQ(Send(Command("ULO_GetWordSupportRec")
                     .String(dir.Path("pairs.txt"))
                     .String(dir.Path("support.txt"))),
            0);
  const std::string base = "<\xBB\xF9\xD7\xBC\xB9\xE6\xD4\xF2>=";
  const std::string other = "<\xB9\xD8\xC1\xAA\xB9\xE6\xD4\xF2>=";
  const std::string confidence = "<\xD6\xC3\xD0\xC5\xB6\xC8>=";
  const std::string support = "<\xD6\xA7\xB3\xD6\xB6\xC8>=";
  auto record = [&](const std::string& a, const std::string& b, const char* c, const char* s) {
    return "<rec>\n" + base + a + "\n" + other + b + "\n" + confidence + c + "\n" + support + s +
           "\n";
  };
  EXPECT_EQ(ReadFile(dir.Path("support.txt")),
            record(kBright, kMoon, "50.000000", "14.285714") +
                record(kMoon, kBright, "28.571429", "14.285714") +
                record(kMoon, kBright, "28.571429", "14.285714") +
                record(kBright, kMoon, "50.000000", "14.285714") +
                record(kMoon, kMountain, "42.857143", "21.428571") +
                record(kMountain, kMoon, "100.000000", "21.428571"));

  ASSERT_EQ(topN(dir.Path("pairs.txt").c_str(), dir.Path("topn.txt").c_str(), 2), 1);
  EXPECT_EQ(ReadFile(dir.Path("topn.txt")),
            kBright + "\t" + kMoon + "\t50.00\t14.29\n" + kBright + "\t" + kMoon +
                "\t50.00\t14.29\n" + kMoon + "\t" + kMountain + "\t42.86\t21.43\n" + kMoon + "\t" +
                kBright + "\t28.57\t14.29\n" + kMountain + "\t" + kMoon + "\t100.00\t21.43\n");
}

TEST_F(PipelineTest, FailuresBecomeStatuses) {
  EXPECT_EQ(Send(Command("ULO_MulMergeFile").String(dir.Path("none")).String(dir.Path("o.txt"))),
            -4353);
  EXPECT_EQ(
      Send(Command("ULO_Filtrate").String(dir.Path("none")).String(dir.Path("o.txt")).Int32(1)),
      -4354);
  EXPECT_EQ(
      Send(Command("ULO_GetWordSupportRec").String(dir.Path("none")).String(dir.Path("o.txt"))),
      -4355);
  EXPECT_EQ(Send(Command("ULO_Filtrate_")), -4110);

  // A counting run whose directory vanishes before its end: End answers -4352.
  ulo::testing::MakeDirectory(dir.Path("gone"));
  ASSERT_EQ(Send(Command("ULO_Stat_AssociatedFreq_Begin").String(dir.Path("gone"))), 0);
  EXPECT_EQ(AddPair(module, "a", "b", 1, 0), 0);
  ulo::testing::RemoveAll(dir.Path("gone"));
  EXPECT_EQ(Send(Command("ULO_Stat_AssociatedFreq_End")), -4352);
  // The flag is free again.
  ulo::testing::MakeDirectory(dir.Path("again"));
  EXPECT_EQ(Send(Command("ULO_Stat_AssociatedFreq_Begin").String(dir.Path("again"))), 0);
  EXPECT_EQ(Send(Command("ULO_Stat_AssociatedFreq_End")), 0);
  EXPECT_EQ(ReadFile(dir.Path("again/temp1.txt")), "");
}

TEST_F(PipelineTest, TwoObjectsShareOneCountingRun) {
  ExtensionModule* second = nullptr;
  ASSERT_EQ(create(0, &second), 0);
  ulo::testing::MakeDirectory(dir.Path("a"));
  ulo::testing::MakeDirectory(dir.Path("b"));
  ASSERT_EQ(Send(Command("ULO_Stat_AssociatedFreq_Begin").String(dir.Path("a"))), 0);
  EXPECT_EQ(AddPair(module, "x", "y", 1, 1), 0);
  // The second object's flag is its own: its pair-add finds no run of its own
  // and its Begin does not wait, but finishes the run both objects share.
  EXPECT_EQ(AddPair(second, "x", "y", 1, 1), -4351);
  ASSERT_EQ(Send(second, Command("ULO_Stat_AssociatedFreq_Begin").String(dir.Path("b"))), 0);
  EXPECT_EQ(ReadFile(dir.Path("a/temp1.txt")), "x\ty\t1\n");
  // Pairs sent through the first object now land in the second object's run.
  EXPECT_EQ(AddPair(module, "p", "q", 2, 1), 0);
  EXPECT_EQ(Send(second, Command("ULO_Stat_AssociatedFreq_End")), 0);
  EXPECT_EQ(ReadFile(dir.Path("b/temp1.txt")), "p\tq\t2\n");
  // The run is closed for both, although the first object's flag is still set.
  EXPECT_EQ(AddPair(module, "p", "q", 2, 1), -4351);
  EXPECT_EQ(Send(Command("ULO_Stat_AssociatedFreq_End")), 0);
  second->Release();
}

}  // namespace
