// Deterministic benchmark data: a Zipf-distributed GB2312 vocabulary and the
// pair streams and pair-count files drawn from it. The same arguments give the
// same bytes on every machine.
//
//   datagen pairs N OUT            N pairs "word1 TAB word2 LF" (a pair stream)
//   datagen merged N OUT           N distinct sorted pairs with Zipf counts
//   datagen sorted FILES N DIR     FILES sorted pair-count files of N lines
//                                  each, keys overlapping heavily between files
//   datagen spills FILES N DIR     FILES spill files as a counting run writes
//                                  them: one long pair stream counted until N
//                                  distinct pairs are held, then written sorted
//   datagen stats FILE             distinct pairs and total of a pair stream
// Options (before the command): --seed S (default 1), --vocabulary V (200000),
//   --exponent E (Zipf exponent of word ranks, default 1.09).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

struct Options {
  uint64_t seed = 1;
  size_t vocabulary = 200000;
  double exponent = 1.09;
};

class Random {
 public:
  explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  uint64_t Next() {  // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  uint64_t Below(uint64_t n) { return Next() % n; }

 private:
  uint64_t state;
};

// Words of 1 to 4 GB2312 level-1 characters (lead 0xB0-0xD7, trail 0xA1-0xFE).
std::vector<std::string> MakeVocabulary(size_t size, uint64_t seed) {
  Random random(seed ^ 0x5EED);
  std::unordered_set<std::string> seen;
  std::vector<std::string> words;
  words.reserve(size);
  static const int kLengthWeights[] = {15, 55, 20, 10};  // percent of 1..4 characters
  while (words.size() < size) {
    int roll = static_cast<int>(random.Below(100));
    int length = 1;
    for (int acc = kLengthWeights[0]; roll >= acc; acc += kLengthWeights[length])
      ++length;
    std::string word;
    for (int i = 0; i < length; ++i) {
      int lead = 0xB0 + static_cast<int>(random.Below(0xD8 - 0xB0));
      int trail = 0xA1 + static_cast<int>(random.Below(lead == 0xD7 ? 0xFA - 0xA1 : 0xFF - 0xA1));
      word.push_back(static_cast<char>(lead));
      word.push_back(static_cast<char>(trail));
    }
    if (seen.insert(word).second) words.push_back(word);
  }
  return words;
}

class Zipf {
 public:
  Zipf(size_t n, double exponent) : cdf(n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
      cdf[i] = (sum += 1.0 / std::pow(static_cast<double>(i + 1), exponent));
    for (double& value : cdf)
      value /= sum;
  }
  size_t Draw(Random& random) const {
    double u = random.Uniform();
    return static_cast<size_t>(std::lower_bound(cdf.begin(), cdf.end(), u) - cdf.begin()) %
           cdf.size();
  }

 private:
  std::vector<double> cdf;
};

struct Pair {
  uint32_t first, second;
  int64_t count;
};

bool ByteLess(const std::string& a, const std::string& b) {
  return std::memcmp(a.data(), b.data(), std::min(a.size(), b.size())) < 0 ||
         (a.size() < b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// Ranks of the vocabulary in unsigned byte order of their words, for sorting
// pairs by comparing integers.
std::vector<uint32_t> ByteOrderRanks(const std::vector<std::string>& words) {
  std::vector<uint32_t> order(words.size());
  for (uint32_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return ByteLess(words[a], words[b]); });
  std::vector<uint32_t> rank(words.size());
  for (uint32_t i = 0; i < order.size(); ++i)
    rank[order[i]] = i;
  return rank;
}

FILE* OpenOut(const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  static std::vector<char> buffer(1 << 20);
  std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
  return out;
}

void CloseOut(FILE* out, const std::string& path) {
  if (std::ferror(out) || std::fclose(out) != 0) {
    std::fprintf(stderr, "datagen: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

void WritePairs(const Options& options, uint64_t n, const std::string& path) {
  auto words = MakeVocabulary(options.vocabulary, options.seed);
  Zipf zipf(words.size(), options.exponent);
  Random random(options.seed);
  FILE* out = OpenOut(path);
  for (uint64_t i = 0; i < n; ++i) {
    const std::string& a = words[zipf.Draw(random)];
    const std::string& b = words[zipf.Draw(random)];
    std::fwrite(a.data(), 1, a.size(), out);
    std::fputc('\t', out);
    std::fwrite(b.data(), 1, b.size(), out);
    std::fputc('\n', out);
  }
  CloseOut(out, path);
}

// A set of 64-bit keys below 2^63, open addressing: one cache miss a lookup,
// where a node-based set takes several.
class KeySet {
 public:
  explicit KeySet(uint64_t expected) {
    size_t size = 16;
    while (size < expected * 2)
      size *= 2;
    slots.assign(size, 0);
    shift = 64;
    for (size_t s = size; s > 1; s >>= 1)
      --shift;
  }
  // True when `key` was not yet held.
  bool Insert(uint64_t key) {
    uint64_t stored = key + 1;  // 0 marks a free slot
    size_t mask = slots.size() - 1;
    for (size_t i = (stored * 0x9E3779B97F4A7C15ULL) >> shift;; i = (i + 1) & mask) {
      if (slots[i] == stored) return false;
      if (slots[i] == 0) {
        slots[i] = stored;
        if (++held * 2 > slots.size()) Grow();
        return true;
      }
    }
  }

 private:
  void Grow() {
    std::vector<uint64_t> old(slots.size() * 2, 0);
    old.swap(slots);
    --shift;
    size_t mask = slots.size() - 1;
    for (uint64_t stored : old) {
      if (stored == 0) continue;
      size_t i = (stored * 0x9E3779B97F4A7C15ULL) >> shift;
      while (slots[i] != 0)
        i = (i + 1) & mask;
      slots[i] = stored;
    }
  }

  std::vector<uint64_t> slots;
  size_t held = 0;
  int shift;
};

// `n` distinct pairs drawn from the Zipf vocabulary, sorted in byte order.
std::vector<Pair> DistinctPairs(const Options& options, uint64_t n, uint64_t salt,
                                const std::vector<uint32_t>& rank, const Zipf& zipf) {
  Random random(options.seed * 7919 + salt);
  KeySet seen(n);
  std::vector<Pair> pairs;
  pairs.reserve(n);
  while (pairs.size() < n) {
    uint32_t a = static_cast<uint32_t>(zipf.Draw(random));
    uint32_t b = static_cast<uint32_t>(zipf.Draw(random));
    if (!seen.Insert(uint64_t{a} << 32 | b)) continue;
    // Zipf-like counts: mostly small, a long tail of large ones.
    double u = random.Uniform();
    int64_t count = static_cast<int64_t>(1.0 / std::pow(1.0 - u * 0.999999, 1.2));
    pairs.push_back({a, b, count < 1 ? 1 : count});
  }
  std::sort(pairs.begin(), pairs.end(), [&](const Pair& x, const Pair& y) {
    return rank[x.first] != rank[y.first] ? rank[x.first] < rank[y.first]
                                          : rank[x.second] < rank[y.second];
  });
  return pairs;
}

void WritePairCountFile(const std::vector<std::string>& words, const std::vector<Pair>& pairs,
                        const std::string& path) {
  FILE* out = OpenOut(path);
  for (const Pair& p : pairs) {
    const std::string& a = words[p.first];
    const std::string& b = words[p.second];
    std::fwrite(a.data(), 1, a.size(), out);
    std::fputc('\t', out);
    std::fwrite(b.data(), 1, b.size(), out);
    std::fprintf(out, "\t%lld\n", static_cast<long long>(p.count));
  }
  CloseOut(out, path);
}

void WriteMerged(const Options& options, uint64_t n, const std::string& path) {
  auto words = MakeVocabulary(options.vocabulary, options.seed);
  auto rank = ByteOrderRanks(words);
  Zipf zipf(words.size(), options.exponent);
  WritePairCountFile(words, DistinctPairs(options, n, 0, rank, zipf), path);
}

void WriteSorted(const Options& options, uint64_t files, uint64_t n, const std::string& dir) {
  auto words = MakeVocabulary(options.vocabulary, options.seed);
  auto rank = ByteOrderRanks(words);
  // A steeper exponent concentrates the keys, so the files overlap heavily.
  Zipf zipf(words.size(), options.exponent + 0.3);
  for (uint64_t f = 0; f < files; ++f) {
    char name[64];
    std::snprintf(name, sizeof name, "/part%04llu.txt", static_cast<unsigned long long>(f));
    WritePairCountFile(words, DistinctPairs(options, n, f + 1, rank, zipf), dir + name);
  }
}

// The spill files of a counting run over one long stream (drawn as WritePairs
// draws it): pairs are counted until `n` distinct ones are held, those are
// written sorted, and counting starts afresh. Most pairs of the stream's long
// tail land in one spill only, as they do in a real run.
void WriteSpills(const Options& options, uint64_t files, uint64_t n, const std::string& dir) {
  auto words = MakeVocabulary(options.vocabulary, options.seed);
  auto rank = ByteOrderRanks(words);
  Zipf zipf(words.size(), options.exponent);
  Random random(options.seed);
  size_t capacity = 16;
  while (capacity < n * 2)
    capacity *= 2;
  int shift = 64;
  for (size_t c = capacity; c > 1; c >>= 1)
    --shift;
  std::vector<uint64_t> keys(capacity);
  std::vector<int64_t> counts(capacity);
  for (uint64_t f = 0; f < files; ++f) {
    std::fill(keys.begin(), keys.end(), 0);
    uint64_t held = 0;
    while (held < n) {
      uint64_t a = zipf.Draw(random);
      uint64_t b = zipf.Draw(random);
      uint64_t key = (a + 1) << 32 | (b + 1);
      size_t i = (key * 0x9E3779B97F4A7C15ULL) >> shift;
      while (keys[i] != 0 && keys[i] != key)
        i = (i + 1) & (capacity - 1);
      if (keys[i] == 0) {
        keys[i] = key;
        counts[i] = 0;
        ++held;
      }
      ++counts[i];
    }
    std::vector<Pair> pairs;
    pairs.reserve(held);
    for (size_t i = 0; i < capacity; ++i) {
      if (keys[i] == 0) continue;
      pairs.push_back({static_cast<uint32_t>((keys[i] >> 32) - 1),
                       static_cast<uint32_t>((keys[i] & 0xFFFFFFFFu) - 1), counts[i]});
    }
    std::sort(pairs.begin(), pairs.end(), [&](const Pair& x, const Pair& y) {
      return rank[x.first] != rank[y.first] ? rank[x.first] < rank[y.first]
                                            : rank[x.second] < rank[y.second];
    });
    char name[64];
    std::snprintf(name, sizeof name, "/temp%llu.txt", static_cast<unsigned long long>(f + 1));
    WritePairCountFile(words, pairs, dir + name);
  }
}

void PrintStats(const std::string& path) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::unordered_set<std::string> distinct;
  char line[4096];
  uint64_t total = 0;
  while (std::fgets(line, sizeof line, in) != nullptr) {
    ++total;
    distinct.insert(line);
  }
  std::fclose(in);
  std::printf("pairs %llu distinct %zu\n", static_cast<unsigned long long>(total), distinct.size());
}

[[noreturn]] void Usage() {
  std::fputs(
      "usage: datagen [--seed S] [--vocabulary V] [--exponent E] COMMAND ...\n"
      "  pairs N OUT | merged N OUT | sorted FILES N DIR | spills FILES N DIR | stats FILE\n",
      stderr);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if ((arg == "--seed" || arg == "--vocabulary" || arg == "--exponent") && i + 1 < argc) {
      const char* value = argv[++i];
      if (arg == "--seed") options.seed = std::strtoull(value, nullptr, 10);
      if (arg == "--vocabulary") options.vocabulary = std::strtoull(value, nullptr, 10);
      if (arg == "--exponent") options.exponent = std::strtod(value, nullptr);
      continue;
    }
    args.emplace_back(arg);
  }
  if (args.empty()) Usage();
  const std::string& command = args[0];
  if (command == "pairs" && args.size() == 3) {
    WritePairs(options, std::strtoull(args[1].c_str(), nullptr, 10), args[2]);
  } else if (command == "merged" && args.size() == 3) {
    WriteMerged(options, std::strtoull(args[1].c_str(), nullptr, 10), args[2]);
  } else if (command == "sorted" && args.size() == 4) {
    WriteSorted(options, std::strtoull(args[1].c_str(), nullptr, 10),
                std::strtoull(args[2].c_str(), nullptr, 10), args[3]);
  } else if (command == "spills" && args.size() == 4) {
    WriteSpills(options, std::strtoull(args[1].c_str(), nullptr, 10),
                std::strtoull(args[2].c_str(), nullptr, 10), args[3]);
  } else if (command == "stats" && args.size() == 2) {
    PrintStats(args[1]);
  } else {
    Usage();
  }
  return 0;
}
