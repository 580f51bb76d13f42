// The shared library as a host sees it: loaded at run time, exports looked up
// by name, nothing else of ours visible.
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
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

// The library loaded as a host loads it: by its path, or on Windows by its
// name from the program's own directory.
class LoadedLibrary {
 public:
  LoadedLibrary() {
#if defined(_WIN32)
    handle = LoadLibraryA(ULO_LIBRARY_NAME);
#else
    handle = dlopen(ULO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
#endif
  }
  ~LoadedLibrary() {
    if (handle == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(handle);
#else
    dlclose(handle);
#endif
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool loaded() const {
    return handle != nullptr;
  }
  void* Find(const char* name) const {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(handle, name));
#else
    return dlsym(handle, name);
#endif
  }

#if defined(_WIN32)
  // The export table of the loaded image: name -> ordinal.
  std::map<std::string, unsigned> ExportOrdinals() const {
    std::map<std::string, unsigned> ordinals;
    auto base = reinterpret_cast<const unsigned char*>(handle);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.VirtualAddress == 0) return ordinals;
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    auto indices = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
      ordinals[reinterpret_cast<const char*>(base + names[i])] = exports->Base + indices[i];
    }
    return ordinals;
  }
  unsigned ExportedFunctionCount() const {
    auto base = reinterpret_cast<const unsigned char*>(handle);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
    return rva == 0
               ? 0
               : reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + rva)->NumberOfFunctions;
  }
#endif

 private:
#if defined(_WIN32)
  HMODULE handle;
#else
  void* handle;
#endif
};

#if defined(_WIN32)
TEST(SharedLibraryTest, ExportsCarryTheirNamesAndAlphabeticalOrdinals) {
  LoadedLibrary library;
  ASSERT_TRUE(library.loaded()) << "cannot load " << ULO_LIBRARY_NAME;
  std::map<std::string, unsigned> expected;
  for (const std::string& name : kExports)
    expected[name] = static_cast<unsigned>(expected.size()) + 1;
  EXPECT_EQ(library.ExportOrdinals(), expected);
  // Nothing is exported by ordinal alone.
  EXPECT_EQ(library.ExportedFunctionCount(), kExports.size());
}
#else
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
#endif

TEST(SharedLibraryTest, HostLoadsTheFilterByName) {
  LoadedLibrary library;
  ASSERT_TRUE(library.loaded());
  using Filtrate = decltype(&ULO_Filtrate);
  auto filtrate = reinterpret_cast<Filtrate>(library.Find("ULO_Filtrate"));
  ASSERT_NE(filtrate, nullptr);

  ulo::testing::TempDir dir;
  ulo::testing::WriteFile(dir.Path("in.txt"), "a\tb\t3\nc\td\t1\n");
  EXPECT_EQ(filtrate(dir.Path("in.txt").c_str(), dir.Path("out.txt").c_str(), 2), 1);
  EXPECT_EQ(ulo::testing::ReadTextFile(dir.Path("out.txt")), "3\ta\tb\n");
  EXPECT_EQ(filtrate(nullptr, dir.Path("out.txt").c_str(), 2), 0);
}

}  // namespace
