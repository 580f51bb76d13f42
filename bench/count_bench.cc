// Counting benchmark: feeds a pair stream ("word1 TAB word2 LF" lines, as
// `datagen pairs` writes them) through a counting run and reports pairs per
// second and peak memory. Run each mode in a process of its own.
//
//   count_bench library   PAIRS WORKDIR [LIMIT]   through the exported functions
//   count_bench reference PAIRS WORKDIR [LIMIT]   a plain two-level std::map counter
//
// LIMIT stops after that many pairs, so that one stream serves several sizes.
// Both modes write the same spill files to WORKDIR (temp1.txt, ...). The time
// runs from Begin to End: reading the stream, counting and the spills.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "vorn_ulo.h"

namespace {

// Calls `add(word1, word2)` for every line of the stream, with both words
// NUL-terminated in place. Reads in blocks, so that the stream itself adds
// little to the peak memory. Stops after `limit` pairs.
template <typename Add>
uint64_t ForEachPair(const char* path, uint64_t limit, Add add) {
  FILE* in = std::fopen(path, "rb");
  if (in == nullptr) {
    std::perror(path);
    std::exit(1);
  }
  const size_t kBlock = size_t{1} << 20;
  std::vector<char> buffer(2 * kBlock + 1);
  size_t held = 0;
  uint64_t pairs = 0;
  while (pairs < limit) {
    size_t got = std::fread(buffer.data() + held, 1, buffer.size() - 1 - held, in);
    size_t end = held + got;
    if (end == 0) break;
    if (got == 0 && buffer[end - 1] != '\n') buffer[end++] = '\n';  // last line without LF
    char* line = buffer.data();
    char* stop = buffer.data() + end;
    while (pairs < limit) {
      char* lf = static_cast<char*>(std::memchr(line, '\n', static_cast<size_t>(stop - line)));
      if (lf == nullptr) break;
      *lf = '\0';
      char* tab = static_cast<char*>(std::memchr(line, '\t', static_cast<size_t>(lf - line)));
      if (tab != nullptr) {
        *tab = '\0';
        add(line, tab + 1);
        ++pairs;
      }
      line = lf + 1;
    }
    held = static_cast<size_t>(stop - line);
    std::memmove(buffer.data(), line, held);
    if (got == 0) break;
  }
  std::fclose(in);
  return pairs;
}

// The simple counter: every first word keys a map of second words.
class ReferenceCounter {
 public:
  explicit ReferenceCounter(std::string workDir) : workDir(std::move(workDir)) {}

  void Add(const char* word1, const char* word2, int count) {
    auto& seconds = pairs[word1];
    size_t before = seconds.size();
    seconds[word2] += count;
    if (seconds.size() != before) ++held;
    if (held >= 0x400000) Spill();
  }

  void Spill() {
    std::string path = workDir + "/temp" + std::to_string(number++) + ".txt";
    FILE* out = std::fopen(path.c_str(), "w");
    if (out != nullptr) {
      for (const auto& [first, seconds] : pairs) {
        for (const auto& [second, count] : seconds)
          std::fprintf(out, "%s\t%s\t%d\n", first.c_str(), second.c_str(), count);
      }
      std::fclose(out);
    }
    pairs.clear();
    held = 0;
  }

 private:
  std::string workDir;
  std::map<std::string, std::map<std::string, int>> pairs;
  int64_t held = 0;
  int number = 1;
};

double PeakMegabytes() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fputs("usage: count_bench library|reference PAIRS WORKDIR [LIMIT]\n", stderr);
    return 2;
  }
  uint64_t limit = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : UINT64_MAX;
  std::string mode = argv[1];
  const char* pairsPath = argv[2];
  const char* workDir = argv[3];

  auto start = std::chrono::steady_clock::now();
  uint64_t pairs = 0;
  int status = 0;
  if (mode == "library") {
    if (ULO_Stat_AssociatedFreq_Begin(workDir) != 1) {
      std::fprintf(stderr, "count_bench: Begin refused %s\n", workDir);
      return 1;
    }
    bool refused = false;
    pairs = ForEachPair(pairsPath, limit, [&](const char* a, const char* b) {
      refused |= ULO_Stat_AssociatedFreq(a, b, 1, 1) != 1;
    });
    if (ULO_Stat_AssociatedFreq_End() != 1 || refused) {
      std::fputs("count_bench: a spill file could not be written\n", stderr);
      status = 1;
    }
  } else if (mode == "reference") {
    ReferenceCounter counter(workDir);
    pairs =
        ForEachPair(pairsPath, limit, [&](const char* a, const char* b) { counter.Add(a, b, 1); });
    counter.Spill();
  } else {
    std::fprintf(stderr, "count_bench: unknown mode %s\n", mode.c_str());
    return 2;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s pairs %llu seconds %.3f pairs_per_s %.0f peak_mb %.1f\n", mode.c_str(),
              static_cast<unsigned long long>(pairs), seconds, static_cast<double>(pairs) / seconds,
              PeakMegabytes());
  return status;
}
