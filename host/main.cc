// ulo: the command-line host of the Vorn_ULO library.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library.h"

namespace ulo::host {
namespace {

const char kUsage[] =
    "usage: ulo [--library PATH] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  filter IN OUT THRESHOLD   write the pairs of IN whose count reaches THRESHOLD\n"
    "\n"
    "options:\n"
    "  --library PATH            the Vorn_ULO library to load\n"
    "  --help                    this text\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "ulo: %s\n", message.c_str());
  return 1;
}

bool ParseInt32(const std::string& text, int32_t* value) {
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX) {
    return false;
  }
  *value = static_cast<int32_t>(parsed);
  return true;
}

int RunFilter(const Library& library, const std::vector<std::string>& args) {
  if (args.size() != 3) return Fail("filter: expected IN OUT THRESHOLD (see ulo --help)");
  int32_t threshold = 0;
  if (!ParseInt32(args[2], &threshold)) {
    return Fail("filter: THRESHOLD must be a 32-bit integer, not '" + args[2] + "'");
  }
  std::string error;
  auto filtrate = library.Find<decltype(&ULO_Filtrate)>("ULO_Filtrate", &error);
  if (filtrate == nullptr) return Fail(error);
  if (filtrate(args[0].c_str(), args[1].c_str(), threshold) != 1) {
    return Fail("filter: failed on " + args[0] + " -> " + args[1] +
                " (input missing or unreadable, output not writable or the input itself)");
  }
  return 0;
}

int Main(int argc, char** argv) {
  std::string libraryPath = DefaultLibraryPath(argv[0]);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--library") {
      if (i + 1 >= argc) return Fail("--library needs a path");
      libraryPath = argv[++i];
      continue;
    }
    args.push_back(arg);
  }
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string command = args.front();
  args.erase(args.begin());

  Library library;
  std::string error;
  if (!library.Load(libraryPath, &error)) return Fail("cannot load the library: " + error);
  if (command == "filter") return RunFilter(library, args);
  return Fail("unknown command '" + command + "' (see ulo --help)");
}

}  // namespace
}  // namespace ulo::host

int main(int argc, char** argv) {
  return ulo::host::Main(argc, argv);
}
