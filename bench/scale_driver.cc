// The scale check's driver (scripts/scale): runs one operation through the
// library's exports in a process of its own and reports its time and the
// process's peak memory.
//
//   scale_driver count PAIRS WORKDIR   counts every "word1 TAB word2" line of
//                                      PAIRS once, one way, in a counting run
//                                      spilling to WORKDIR
//   scale_driver feed N WORKDIR        counts N generated pairs whose counts
//                                      are known (KnownPairs below), one way,
//                                      in a counting run spilling to WORKDIR
//   scale_driver check MERGED N        checks that MERGED holds exactly the
//                                      known counts of the N generated pairs
//   scale_driver merge DIR OUT         merges every file under DIR into OUT
//
// Each prints one line "name value ..." and exits 1 when the library reports
// a failure (or the check finds a difference).
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// Ends a count that began at `start` and reports it on one line.
int EndCount(std::chrono::steady_clock::time_point start, const char* workDir, uint64_t pairs,
             uint64_t refused) {
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
  return EndCount(start, workDir, pairs, refused);
}

// A stream of N pairs (N a multiple of 10) whose counts follow from the
// pairs themselves, so that a merged file of any size can be checked line by
// line without a second count. There are D = N * 2 / 5 distinct pairs; pair k
// (0 <= k < D) occurs 1 + k % 4 times, so every block of four pairs takes
// ten occurrences. Occurrence o (0 <= o < N) is pair 4 * (o / 10) + one of
// 0, 1, 1, 2, 2, 2, 3, 3, 3, 3 by o % 10, and the j-th pair fed is
// occurrence (a * j + c) mod N for an `a` prime to N: each pair's
// occurrences lie scattered over the whole run. Pair k is the words k / W
// and k % W for W = ceil(sqrt(D)), each written as two GB2312 characters
// whose byte order is the order of the word numbers.
class KnownPairs {
 public:
  explicit KnownPairs(uint64_t n) : n(n), distinct(n / 10 * 4) {
    width = 1;
    while (width * width < distinct)
      ++width;
    multiplier = 2654435761u;  // prime, and so prime to N = 2^x 5^y ...
    while (Gcd(multiplier, n) != 1)
      multiplier += 2;  // ... or the next odd number that is
  }
  uint64_t distinct_pairs() const { return distinct; }
  uint64_t words() const { return width; }

  // The pair fed j-th.
  uint64_t PairAt(uint64_t j) const {
    static constexpr uint8_t kMember[10] = {0, 1, 1, 2, 2, 2, 3, 3, 3, 3};
    uint64_t o =
        static_cast<uint64_t>((static_cast<unsigned __int128>(multiplier) * j + 12345) % n);
    return o / 10 * 4 + kMember[o % 10];
  }
  static int64_t CountOf(uint64_t pair) { return 1 + static_cast<int64_t>(pair % 4); }

  // The two words of `pair`, each 4 bytes and a NUL, into `word1`, `word2`.
  void Words(uint64_t pair, char* word1, char* word2) const {
    Word(pair / width, word1);
    Word(pair % width, word2);
  }
  // The number of a word written by Word(), or -1 when it is not one.
  static int64_t WordNumber(const unsigned char* bytes) {
    int64_t high = Character(bytes), low = Character(bytes + 2);
    if (high < 0 || low < 0) return -1;
    return high * kCharacters + low;
  }

 private:
  static constexpr int64_t kCharacters = 72 * 94;  // GB2312 rows 16 to 87
  static uint64_t Gcd(uint64_t a, uint64_t b) { return b == 0 ? a : Gcd(b, a % b); }
  static void Character(int64_t c, char* out) {
    out[0] = static_cast<char>(0xB0 + c / 94);
    out[1] = static_cast<char>(0xA1 + c % 94);
  }
  static int64_t Character(const unsigned char* in) {
    if (in[0] < 0xB0 || in[0] > 0xF7 || in[1] < 0xA1 || in[1] > 0xFE) return -1;
    return (in[0] - 0xB0) * 94 + (in[1] - 0xA1);
  }
  static void Word(uint64_t number, char* out) {
    Character(static_cast<int64_t>(number) / kCharacters, out);
    Character(static_cast<int64_t>(number) % kCharacters, out + 2);
    out[4] = '\0';
  }

  uint64_t n, distinct, width = 0, multiplier = 0;
};

bool ParsePairs(const char* text, uint64_t* n) {
  char* end = nullptr;
  unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || value == 0 || value % 10 != 0) {
    std::fprintf(stderr, "scale_driver: N must be a positive multiple of 10, not %s\n", text);
    return false;
  }
  *n = value;
  return true;
}

int Feed(const char* pairsText, const char* workDir) {
  uint64_t n = 0;
  if (!ParsePairs(pairsText, &n)) return 2;
  KnownPairs known(n);
  if (known.words() >= uint64_t{72 * 94} * 72) {
    std::fprintf(stderr, "scale_driver: too many pairs for the word scheme\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  if (ULO_Stat_AssociatedFreq_Begin(workDir) != 1) {
    std::fprintf(stderr, "scale_driver: Begin refused %s\n", workDir);
    return 1;
  }
  uint64_t refused = 0;
  char word1[8], word2[8];
  for (uint64_t j = 0; j < n; ++j) {
    known.Words(known.PairAt(j), word1, word2);
    if (ULO_Stat_AssociatedFreq(word1, word2, 1, 1) != 1) ++refused;
  }
  return EndCount(start, workDir, n, refused);
}

// Every line must be the next pair in order with its known count: then the
// file holds each of the D pairs exactly once, nothing else, counted right.
int Check(const char* mergedPath, const char* pairsText) {
  uint64_t n = 0;
  if (!ParsePairs(pairsText, &n)) return 2;
  KnownPairs known(n);
  FILE* in = std::fopen(mergedPath, "rb");
  if (in == nullptr) {
    std::perror(mergedPath);
    return 1;
  }
  auto start = std::chrono::steady_clock::now();
  std::vector<char> buffer(size_t{16} << 20);
  size_t held = 0;
  uint64_t lines = 0, total = 0, expectedPair = 0;
  auto fail = [&](const char* what) {
    std::fprintf(stderr, "scale_driver: %s at line %llu of %s\n", what,
                 static_cast<unsigned long long>(lines + 1), mergedPath);
    std::fclose(in);
    return 1;
  };
  for (;;) {
    size_t got = std::fread(buffer.data() + held, 1, buffer.size() - held, in);
    size_t end = held + got;
    if (end == 0) break;
    const char* line = buffer.data();
    const char* stop = buffer.data() + end;
    for (;;) {
      auto* lf =
          static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(stop - line)));
      if (lf == nullptr) break;
      const auto* bytes = reinterpret_cast<const unsigned char*>(line);
      if (lf - line < 11 || bytes[4] != '\t' || bytes[9] != '\t') return fail("a malformed line");
      int64_t word1 = KnownPairs::WordNumber(bytes), word2 = KnownPairs::WordNumber(bytes + 5);
      if (word1 < 0 || word2 < 0 || static_cast<uint64_t>(word2) >= known.words()) {
        return fail("an unknown word");
      }
      uint64_t pair = static_cast<uint64_t>(word1) * known.words() + static_cast<uint64_t>(word2);
      if (pair != expectedPair) {
        return fail(pair < expectedPair ? "a pair out of order or repeated" : "a pair missing");
      }
      int64_t count = 0;
      for (const char* digit = line + 10; digit < lf; ++digit) {
        if (*digit < '0' || *digit > '9' || count > (int64_t{1} << 40)) return fail("a bad count");
        count = count * 10 + (*digit - '0');
      }
      if (count != KnownPairs::CountOf(pair)) return fail("a wrong count");
      total += static_cast<uint64_t>(count);
      ++expectedPair;
      ++lines;
      line = lf + 1;
    }
    held = static_cast<size_t>(stop - line);
    std::memmove(buffer.data(), line, held);
    if (got == 0) {
      if (held != 0) return fail("a last line without its line end");
      break;
    }
  }
  std::fclose(in);
  if (expectedPair != known.distinct_pairs()) return fail("pairs missing at the end");
  if (total != n) return fail("a total that is not the number of pairs fed");
  std::printf("check pairs %llu distinct %llu every_count_equal yes seconds %.1f\n",
              static_cast<unsigned long long>(total), static_cast<unsigned long long>(lines),
              SecondsSince(start));
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
  if (argc == 4 && std::strcmp(argv[1], "feed") == 0) return Feed(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "check") == 0) return Check(argv[2], argv[3]);
  std::fputs(
      "usage: scale_driver count PAIRS WORKDIR | feed N WORKDIR | check MERGED N | "
      "merge DIR OUT\n",
      stderr);
  return 2;
}
