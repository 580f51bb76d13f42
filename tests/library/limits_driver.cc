// Drives the library to the sizes where a 32-bit build meets its limits,
// with deterministic data, so that the files of a 32-bit Windows run can be
// compared byte for byte (CR LF read as LF) with those of the Linux build:
//
//   ulo_limits count DIR [DISTINCT]  a counting run of DISTINCT (default
//       14,000,000) pairs once and a seventh of them again both ways, so
//       several spills of 0x400000 pairs; then its merge into DIR/pairs.txt,
//       the pairs counted 3 times filtered into DIR/frequent.txt, and their
//       support records and top-10 (DIR/support.txt, DIR/topn.txt)
//   ulo_limits bigfiles DIR MIB      two sorted pair-count files of MIB MiB
//       together, some pairs in both
//   ulo_limits bigmerge DIR OUT      the merge of DIR into OUT
//
// Exits with 0 when every step reports success.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "vorn_ulo.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Step(const char* what, bool ok, Clock::time_point start) {
  std::printf("%-44s %s  %7.1f s\n", what, ok ? "ok    " : "FAILED", SecondsSince(start));
  std::fflush(stdout);
  return ok;
}

int64_t FileSize(const std::string& path) {
#if defined(_WIN32)
  struct _stati64 info;
  if (_stati64(path.c_str(), &info) != 0) return -1;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
#endif
  return static_cast<int64_t>(info.st_size);
}

// Word `n` of the vocabulary: two GB2312 level-1 characters.
std::string Word(uint32_t n) {
  constexpr uint32_t kLevelOne = 3755;
  std::string word(4, '\0');
  uint32_t first = n % kLevelOne, second = n / kLevelOne % kLevelOne;
  word[0] = static_cast<char>(0xB0 + first / 94);
  word[1] = static_cast<char>(0xA1 + first % 94);
  word[2] = static_cast<char>(0xB0 + second / 94);
  word[3] = static_cast<char>(0xA1 + second % 94);
  return word;
}

int Count(const std::string& dir, uint64_t distinct) {
  constexpr uint64_t kVocabulary = 4000;
  constexpr uint64_t kStride = 999983;  // a prime that divides no such count: a permutation
  std::vector<std::string> words;
  for (uint32_t n = 0; n < kVocabulary; ++n)
    words.push_back(Word(n));
  const std::string spill = dir + "/spill";
  const std::string pairs = dir + "/pairs.txt";
  const std::string frequent = dir + "/frequent.txt";

  auto start = Clock::now();
  if (!Step("Begin", ULO_Stat_AssociatedFreq_Begin(spill.c_str()) == 1, start)) return 1;
  bool added = true;
  for (uint64_t t = 0; t < distinct; ++t) {
    uint64_t k = t * kStride % distinct;
    added &= ULO_Stat_AssociatedFreq(words[k / kVocabulary % kVocabulary].c_str(),
                                     words[k % kVocabulary].c_str(), 1, 1) == 1;
  }
  for (uint64_t t = 0; t < distinct; ++t) {
    uint64_t k = t * kStride % distinct;
    if (k % 7 != 0) continue;
    added &= ULO_Stat_AssociatedFreq(words[k / kVocabulary % kVocabulary].c_str(),
                                     words[k % kVocabulary].c_str(), 2, 0) == 1;
  }
  if (!Step("pairs added", added, start)) return 1;
  if (!Step("End", ULO_Stat_AssociatedFreq_End() == 1, start)) return 1;
  int spills = 0;
  while (FileSize(spill + "/temp" + std::to_string(spills + 1) + ".txt") >= 0)
    ++spills;
  std::printf("spill files: %d\n", spills);
  if (!Step("several spill files", spills >= 4, start)) return 1;

  start = Clock::now();
  if (!Step("merge", ULO_MulMergeFile(spill.c_str(), pairs.c_str()) == 0, start)) return 1;
  start = Clock::now();
  if (!Step("filter", ULO_Filtrate(pairs.c_str(), frequent.c_str(), 3) == 1, start)) return 1;
  start = Clock::now();
  if (!Step("support records",
            ULO_GetWordSupportRec(frequent.c_str(), (dir + "/support.txt").c_str()) == 1, start))
    return 1;
  start = Clock::now();
  if (!Step("top-10",
            ULO_GetTopNWordSupportRec(frequent.c_str(), (dir + "/topn.txt").c_str(), 10) == 1,
            start))
    return 1;
  std::printf("bytes: pairs.txt %" PRId64 ", frequent.txt %" PRId64 ", support.txt %" PRId64
              ", topn.txt %" PRId64 "\n",
              FileSize(pairs), FileSize(frequent), FileSize(dir + "/support.txt"),
              FileSize(dir + "/topn.txt"));
  return 0;
}

// Even keys go to a.txt, odd ones to b.txt, every thousandth even key to both.
int BigFiles(const std::string& dir, uint64_t mebibytes) {
  const uint64_t limit = mebibytes << 20;
  const std::string filler(100, 'x');
  FILE* a = std::fopen((dir + "/a.txt").c_str(), "wb");
  FILE* b = std::fopen((dir + "/b.txt").c_str(), "wb");
  if (a == nullptr || b == nullptr) return 1;
  static char bufferA[1 << 20], bufferB[1 << 20];
  std::setvbuf(a, bufferA, _IOFBF, sizeof bufferA);
  std::setvbuf(b, bufferB, _IOFBF, sizeof bufferB);
  auto start = Clock::now();
  uint64_t written = 0;
  bool ok = true;
  char line[256];
  for (uint64_t n = 0; written < limit; ++n) {
    int length = std::snprintf(line, sizeof line, "big%012" PRIu64 "\t%s\t%" PRIu64 "\n", n,
                               filler.c_str(), n % 1000 + 1);
    FILE* to = n % 2 == 0 ? a : b;
    ok &= std::fwrite(line, 1, length, to) == static_cast<size_t>(length);
    written += length;
    if (n % 2000 == 0) {
      ok &= std::fwrite(line, 1, length, b) == static_cast<size_t>(length);
      written += length;
    }
  }
  ok &= std::fclose(a) == 0;
  ok &= std::fclose(b) == 0;
  std::printf("bytes: %" PRIu64 "\n", written);
  return Step("big input files", ok, start) ? 0 : 1;
}

int BigMerge(const std::string& dir, const std::string& out) {
  auto start = Clock::now();
  int32_t result = ULO_MulMergeFile(dir.c_str(), out.c_str());
  std::printf("merge result %d, output %" PRId64 " bytes\n", result, FileSize(out));
  bool ok = result == 0 && FileSize(out) > (int64_t{1} << 31);
  return Step("merge past 2 GiB", ok, start) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "count" && (argc == 3 || argc == 4)) {
    return Count(argv[2], argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 14000000);
  }
  if (mode == "bigfiles" && argc == 4)
    return BigFiles(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "bigmerge" && argc == 4) return BigMerge(argv[2], argv[3]);
  std::fprintf(stderr, "usage: %s count DIR [DISTINCT] | bigfiles DIR MIB | bigmerge DIR OUT\n",
               argc > 0 ? argv[0] : "ulo_limits");
  return 2;
}
