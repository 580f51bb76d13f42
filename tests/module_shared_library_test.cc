// The shared library as a host sees it: loaded at run time, exports looked up
// by name, nothing else of ours visible.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "test_support.h"
#include "vorn_ulo.h"

namespace {

const std::set<std::string> kExports = {
    "ULO_Filtrate",
    "ULO_GetTopNWordSupportRec",
    "ULO_GetWordSupportRec",
    "ULO_MulMergeFile",
    "ULO_Stat_AssociatedFreq",
    "ULO_Stat_AssociatedFreq_Begin",
    "ULO_Stat_AssociatedFreq_End",
    "VornModule_CreateInstance",
};

std::set<std::string> DefinedDynamicSymbols() {
  std::set<std::string> names;
  std::string command = std::string("nm -D --defined-only ") + ULO_LIBRARY_PATH;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    // "address type name"
    char type = 0;
    char name[900] = {0};
    if (std::sscanf(line, "%*s %c %899s", &type, name) == 2) names.insert(name);
  }
  pclose(pipe);
  return names;
}

TEST(SharedLibraryTest, ExactlyTheEightExportsAreVisible) {
  std::set<std::string> symbols = DefinedDynamicSymbols();
  ASSERT_FALSE(symbols.empty()) << "nm found no symbols in " << ULO_LIBRARY_PATH;
  EXPECT_EQ(symbols, kExports);
}

TEST(SharedLibraryTest, HostLoadsTheFilterByName) {
  void* library = dlopen(ULO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Filtrate = ULO_BOOL (*)(const char*, const char*, int32_t);
  auto filtrate = reinterpret_cast<Filtrate>(dlsym(library, "ULO_Filtrate"));
  ASSERT_NE(filtrate, nullptr);

  ulo::testing::TempDir dir;
  ulo::testing::WriteFile(dir.Path("in.txt"), "a\tb\t3\nc\td\t1\n");
  EXPECT_EQ(filtrate(dir.Path("in.txt").c_str(), dir.Path("out.txt").c_str(), 2), 1);
  EXPECT_EQ(ulo::testing::ReadFile(dir.Path("out.txt")), "3\ta\tb\n");
  EXPECT_EQ(filtrate(nullptr, dir.Path("out.txt").c_str(), 2), 0);
  dlclose(library);
}

}  // namespace
