// The scale check's driver (scripts/scale): runs one operation through the
// library's exports in a process of its own and reports its time and the
// process's peak memory.
//
//   scale_driver count PAIRS WORKDIR   counts every "word1 TAB word2" line of
//                                      PAIRS once, one way, in a counting run
//                                      spilling to WORKDIR
//   scale_driver merge DIR OUT         merges every file under DIR into OUT
//
// Each prints one line "name value ..." and exits 1 when the library reports
// a failure.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "vorn_ulo.h"

namespace {

double PeakMegabytes() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Count(const char* pairsPath, const char* workDir) {
  FILE* in = std::fopen(pairsPath, "rb");
  if (in == nullptr) {
    std::perror(pairsPath);
    return 1;
  }
  auto start = std::chrono::steady_clock::now();
  if (ULO_Stat_AssociatedFreq_Begin(workDir) != 1) {
    std::fprintf(stderr, "scale_driver: Begin refused %s\n", workDir);
    return 1;
  }
  // Whole blocks, each line's words terminated in place.
  std::vector<char> buffer(size_t{4} << 20);
  size_t held = 0;
  uint64_t pairs = 0, refused = 0;
  for (;;) {
    size_t got = std::fread(buffer.data() + held, 1, buffer.size() - 1 - held, in);
    size_t end = held + got;
    if (end == 0) break;
    if (got == 0 && buffer[end - 1] != '\n') buffer[end++] = '\n';
    char* line = buffer.data();
    char* stop = buffer.data() + end;
    for (;;) {
      char* lf = static_cast<char*>(std::memchr(line, '\n', static_cast<size_t>(stop - line)));
      if (lf == nullptr) break;
      *lf = '\0';
      char* tab = std::strchr(line, '\t');
      if (tab != nullptr) {
        *tab = '\0';
        ++pairs;
        if (ULO_Stat_AssociatedFreq(line, tab + 1, 1, 1) != 1) ++refused;
      }
      line = lf + 1;
    }
    held = static_cast<size_t>(stop - line);
    std::memmove(buffer.data(), line, held);
    if (got == 0) break;
  }
  std::fclose(in);
  int32_t ended = ULO_Stat_AssociatedFreq_End();
  double seconds = SecondsSince(start);
  size_t spills = 0;
  for (const auto& entry : std::filesystem::directory_iterator(workDir))
    spills += entry.is_regular_file();
  std::printf("count pairs %llu seconds %.1f pairs_per_s %.0f spills %zu peak_mb %.0f\n",
              static_cast<unsigned long long>(pairs), seconds, static_cast<double>(pairs) / seconds,
              spills, PeakMegabytes());
  if (refused != 0 || ended != 1) {
    std::fprintf(stderr, "scale_driver: %llu pairs refused, End gave %d\n",
                 static_cast<unsigned long long>(refused), ended);
    return 1;
  }
  return 0;
}

int Merge(const char* dir, const char* out) {
  auto start = std::chrono::steady_clock::now();
  int32_t result = ULO_MulMergeFile(dir, out);
  std::printf("merge result %d seconds %.1f peak_mb %.0f\n", result, SecondsSince(start),
              PeakMegabytes());
  return result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "count") == 0) return Count(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "merge") == 0) return Merge(argv[2], argv[3]);
  std::fputs("usage: scale_driver count PAIRS WORKDIR | merge DIR OUT\n", stderr);
  return 2;
}
