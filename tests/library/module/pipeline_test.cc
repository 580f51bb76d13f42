// The whole pipeline as a host drives it: the library loaded at run time
// (dlopen, or LoadLibraryA by name on Windows), the eight exports resolved by
// name, the counting run, the merge, the filter and
// the support records sent as command buffers, the top-N ranking through its
// export.
#if defined(_WIN32)
#include <windows.h>
#endif
#include <gtest/gtest.h>

#include <string>

#include "support/command_buffer.h"
#include "support/loaded_library.h"
#include "support/support_record.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::testing {
namespace {

// GB2312: moon D4 C2, bright C3 F7, mountain C9 BD.
const std::string kMoon = "\xD4\xC2";
const std::string kBright = "\xC3\xF7";
const std::string kMountain = "\xC9\xBD";

using Command = CommandBuffer;

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.loaded()) << library.error();
    for (const char* name : kExportNames) {
      EXPECT_NE(Find(name), nullptr) << name;
    }
    create =
        reinterpret_cast<decltype(&VornModule_CreateInstance)>(Find("VornModule_CreateInstance"));
    topN =
        reinterpret_cast<decltype(&ULO_GetTopNWordSupportRec)>(Find("ULO_GetTopNWordSupportRec"));
    ASSERT_NE(create, nullptr);
    ASSERT_EQ(create(0, &module), 0);
    ASSERT_NE(module, nullptr);
  }

  void TearDown() override {
    if (module != nullptr) module->Release();
  }

  void* Find(const char* name) const { return library.Find(name); }

  int32_t Send(ExtensionModule* target, const Command& command) { return command.SendTo(target); }
  int32_t Send(const Command& command) { return Send(module, command); }

  int32_t AddPair(ExtensionModule* target, const std::string& a, const std::string& b,
                  int32_t count, char oneWay) {
    return Send(target, commands::AddPair(a, b, count, oneWay));
  }

  LoadedLibrary library;
  decltype(&VornModule_CreateInstance) create = nullptr;
  decltype(&ULO_GetTopNWordSupportRec) topN = nullptr;
  ExtensionModule* module = nullptr;
  TempDir dir;
};

TEST_F(PipelineTest, CountMergeFilterSupportTopN) {
  MakeDirectory(dir.Path("spill"));
  ASSERT_EQ(Send(commands::Begin(dir.Path("spill"))), 0);
  EXPECT_EQ(AddPair(module, kMoon, kBright, 3, 0), 0);    // both directions
  EXPECT_EQ(AddPair(module, kMoon, kMountain, 1, 1), 0);  // one way
  EXPECT_EQ(AddPair(module, kMoon, kBright, 1, 0), 0);
  EXPECT_EQ(AddPair(module, "", kBright, 1, 0), -4351);  // an empty word is refused
  ASSERT_EQ(Send(commands::End()), 0);
  EXPECT_EQ(ReadTextFile(dir.Path("spill/temp1.txt")), kBright + "\t" + kMoon + "\t4\n" + kMoon +
                                                           "\t" + kBright + "\t4\n" + kMoon + "\t" +
                                                           kMountain + "\t1\n");

  // A second file of the same run's shape, so the merge sums across files.
  MakeDirectory(dir.Path("spill/more"));
  WriteFile(dir.Path("spill/more/temp9.txt"), kMoon + "\t" + kMountain + "\t5\n");
  const std::string pairs = dir.Path("pairs.txt"), frequent = dir.Path("frequent.txt");
  ASSERT_EQ(Send(commands::Merge(dir.Path("spill"), pairs)), 0);
  EXPECT_EQ(ReadTextFile(pairs), kBright + "\t" + kMoon + "\t4\n" + kMoon + "\t" + kBright +
                                     "\t4\n" + kMoon + "\t" + kMountain + "\t6\n");
  EXPECT_FALSE(FileExists(dir.Path("merge_temp")));

  ASSERT_EQ(Send(Command("uLo_fIlTrAtE").String(pairs).String(frequent).Int32(5)), 0);
  EXPECT_EQ(ReadTextFile(frequent), "6\t" + kMoon + "\t" + kMountain + "\n");
  // And through its export, found by name.
  auto filtrate = reinterpret_cast<decltype(&ULO_Filtrate)>(Find("ULO_Filtrate"));
  ASSERT_EQ(filtrate(pairs.c_str(), frequent.c_str(), 4), 1);
  EXPECT_EQ(ReadTextFile(frequent), "4\t" + kBright + "\t" + kMoon + "\n4\t" + kMoon + "\t" +
                                        kBright + "\n6\t" + kMoon + "\t" + kMountain + "\n");

  // Frequencies: bright 8, moon 14, mountain 6; total 28.
  ASSERT_EQ(Send(commands::Support(pairs, dir.Path("support.txt"))), 0);
  EXPECT_EQ(ReadTextFile(dir.Path("support.txt")),
            SupportRecords(kBright, kMoon, "50.000000", "28.571429", "14.285714") +
                SupportRecords(kMoon, kBright, "28.571429", "50.000000", "14.285714") +
                SupportRecords(kMoon, kMountain, "42.857143", "100.000000", "21.428571"));

  ASSERT_EQ(topN(pairs.c_str(), dir.Path("topn.txt").c_str(), 2), 1);
  EXPECT_EQ(ReadTextFile(dir.Path("topn.txt")),
            kBright + "\t" + kMoon + "\t50.00\t14.29\n" + kBright + "\t" + kMoon +
                "\t50.00\t14.29\n" + kMoon + "\t" + kMountain + "\t42.86\t21.43\n" + kMoon + "\t" +
                kBright + "\t28.57\t14.29\n" + kMountain + "\t" + kMoon + "\t100.00\t21.43\n");
}

TEST_F(PipelineTest, FailuresBecomeStatuses) {
  EXPECT_EQ(Send(commands::Merge(dir.Path("none"), dir.Path("o.txt"))), -4353);
  EXPECT_EQ(Send(commands::Filter(dir.Path("none"), dir.Path("o.txt"), 1)), -4354);
  EXPECT_EQ(Send(commands::Support(dir.Path("none"), dir.Path("o.txt"))), -4355);
  EXPECT_EQ(Send(Command("ULO_Filtrate_")), -4110);

  // A counting run whose directory vanishes before its end: End answers -4352.
  MakeDirectory(dir.Path("gone"));
  ASSERT_EQ(Send(commands::Begin(dir.Path("gone"))), 0);
  EXPECT_EQ(AddPair(module, "a", "b", 1, 0), 0);
  RemoveAll(dir.Path("gone"));
  EXPECT_EQ(Send(commands::End()), -4352);
  // The flag is free again.
  MakeDirectory(dir.Path("again"));
  EXPECT_EQ(Send(commands::Begin(dir.Path("again"))), 0);
  EXPECT_EQ(Send(commands::End()), 0);
  EXPECT_EQ(ReadTextFile(dir.Path("again/temp1.txt")), "");
}

#if defined(_WIN32)
TEST_F(PipelineTest, WindowsHostByOrdinalWithGb2312NamesAndPaths) {
  // Ordinals 1 to 8 reach the exports in alphabetical order of their names.
  auto byOrdinal = [&](WORD ordinal) { return library.FindOrdinal(ordinal); };
  for (WORD ordinal = 1; ordinal <= 8; ++ordinal)
    EXPECT_EQ(byOrdinal(ordinal), Find(kExportNames[ordinal - 1])) << ordinal;
  EXPECT_EQ(byOrdinal(9), nullptr);

  if (GetACP() != 936) GTEST_SKIP() << "needs the GB2312/GBK code page 936, not " << GetACP();
  ExtensionModule* object = nullptr;
  ASSERT_EQ(reinterpret_cast<decltype(&VornModule_CreateInstance)>(byOrdinal(8))(0, &object), 0);
  // Paths in the ANSI code page, through the system's own calls: a directory
  // and a file named with GB2312 letters.
  const std::string data = dir.path() + "\\\xCA\xFD\xBE\xDD";
  const std::string merged = data + "\\\xBD\xE1\xB9\xFB.txt";
  ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((data + "\\spill").c_str(), nullptr));
  ASSERT_EQ(Send(object, Command("ulo_STAT_associatedfreq_BEGIN").String(data + "\\spill")), 0);
  EXPECT_EQ(AddPair(object, kMoon, kBright, 3, 1), 0);
  ASSERT_EQ(Send(object, Command("Ulo_Stat_AssociatedFreq_End")), 0);
  ASSERT_EQ(Send(object, Command("ulo_mulmergefile").String(data + "\\spill\\").String(merged)), 0);
  EXPECT_EQ(ReadFile(merged), kMoon + "\t" + kBright + "\t3\r\n");
  EXPECT_EQ(GetFileAttributesA((data + "\\merge_temp").c_str()), INVALID_FILE_ATTRIBUTES);

  // Letters fold in ASCII only: GB2312 letters never match a command name,
  // full-width forms of its letters included, nor does a GBK character
  // whose trail byte reads as an ASCII letter.
  const std::string kept = data + "\\kept.txt";
  for (const char* name : {"\xA3\xD5LO_Filtrate", "ULO_Filtrat\xA3\xC5", "ULO_Filtrat\xA3\xE5",
                           "ULO_Filtra\x81t", "ULO_Filtrate\xB0\xA1"}) {
    EXPECT_EQ(Send(object, Command(name).String(merged).String(kept).Int32(1)), -4110) << name;
  }
  EXPECT_EQ(GetFileAttributesA(kept.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Send(object, Command("uLO_fILTRATE").String(merged).String(kept).Int32(1)), 0);
  EXPECT_EQ(ReadFile(kept), "3\t" + kMoon + "\t" + kBright + "\r\n");
  object->Release();
}
#endif

}  // namespace
}  // namespace ulo::testing
