// The shared library as a host sees it: loaded at run time, exports looked up
// by name, nothing else of ours visible.
#if defined(_WIN32)
#include <windows.h>
#endif
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "support/loaded_library.h"
#include "vorn_ulo.h"

namespace ulo::testing {
namespace {

const std::set<std::string> kExports(std::begin(kExportNames), std::end(kExportNames));

#if defined(_WIN32)
// The export directory of a loaded image; null when it has none.
const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE image) {
  auto base = reinterpret_cast<const unsigned char*>(image);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
  return rva == 0 ? nullptr : reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + rva);
}

TEST(SharedLibraryTest, ExportsCarryTheirNamesAndAlphabeticalOrdinals) {
  LoadedLibrary library;
  ASSERT_TRUE(library.loaded()) << "cannot load " << ULO_LIBRARY_NAME << ": " << library.error();
  const IMAGE_EXPORT_DIRECTORY* exports = ExportDirectory(library.module());
  ASSERT_NE(exports, nullptr);
  auto base = reinterpret_cast<const unsigned char*>(library.module());
  auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  auto indices = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  std::map<std::string, unsigned> ordinals, expected;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    ordinals[reinterpret_cast<const char*>(base + names[i])] = exports->Base + indices[i];
  for (const std::string& name : kExports)
    expected[name] = static_cast<unsigned>(expected.size()) + 1;
  EXPECT_EQ(ordinals, expected);
  // Nothing is exported by ordinal alone.
  EXPECT_EQ(exports->NumberOfFunctions, kExports.size());
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

}  // namespace
}  // namespace ulo::testing
