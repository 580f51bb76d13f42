// The three statistics readers on fuzzed pair-count files, in memory: the
// filter, the support records and the top-N ranking must each write exactly
// what a plain line-by-line version of its job writes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "assoc/pair_filter.h"
#include "assoc/support_records.h"
#include "assoc/top_n_ranker.h"
#include "assoc/word_frequency_table.h"
#include "fuzz_support.h"
#include "support/cut_lines.h"
#include "support/support_record.h"
#include "text/pair_line.h"

namespace ulo::fuzz {
namespace {

const std::string kIn = "/in";
const std::string kOut = "/out";

using Cut = oracle::CutLine;
using oracle::CutLines;

int64_t AddPinned(int64_t a, int64_t b) {
  int64_t sum;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

std::string Printed(const char* format, double value) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Word frequencies and the total as the first pass of both statistics makes
// them, with the words in order of first appearance.
struct Frequencies {
  std::map<std::string, int64_t> of;
  std::vector<std::string> order;
  int64_t total = 0;

  explicit Frequencies(const std::vector<Cut>& cuts) {
    for (const Cut& cut : cuts) {
      int64_t n = text::ParseCountInteger(cut.rest);
      for (const std::string* word : {&cut.word1, &cut.word2}) {
        total = AddPinned(total, n);
        auto found = of.find(*word);
        if (found == of.end()) {
          of.emplace(*word, n);
          order.push_back(*word);
        } else {
          found->second = AddPinned(found->second, n);
        }
      }
    }
  }
};

std::string ExpectedSupport(const std::string& text) {
  const std::vector<Cut> cuts = CutLines(text, text::kSupportLimits);
  const Frequencies words(cuts);
  const double total = static_cast<double>(words.total);
  std::string out;
  for (const Cut& cut : cuts) {
    double count = text::ParseCountReal(std::string_view(cut.rest).substr(0, 31));
    std::string support = Printed("%f", count / total * 100.0);
    auto record = [&](const std::string& base, const std::string& other) {
      double confidence = count / static_cast<double>(words.of.at(base)) * 100.0;
      out += testing::SupportRecord(base, other, Printed("%f", confidence), support);
    };
    record(cut.word1, cut.word2);
    record(cut.word2, cut.word1);
  }
  return out;
}

int32_t Millionths(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::string ExpectedTopN(const std::string& text, int32_t n) {
  const std::vector<Cut> cuts = CutLines(text, text::kTopNLimits);
  const Frequencies words(cuts);
  const double total = static_cast<double>(words.total);
  struct Item {
    std::string other;
    int32_t confidence, support;
  };
  std::map<std::string, std::vector<Item>> lists;
  auto offer = [&](const std::string& base, const std::string& other, int32_t confidence,
                   int32_t support) {
    std::vector<Item>& list = lists[base];
    size_t at = 0;
    while (at < list.size() && list[at].confidence >= confidence)
      ++at;
    if (at == static_cast<size_t>(n)) return;
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), Item{other, confidence, support});
    if (list.size() > static_cast<size_t>(n)) list.pop_back();
  };
  for (const Cut& cut : cuts) {
    double count = text::ParseCountReal(cut.rest);
    int32_t support = Millionths(count / total * 1000000.0);
    offer(cut.word1, cut.word2,
          Millionths(count / static_cast<double>(words.of.at(cut.word1)) * 1000000.0), support);
    offer(cut.word2, cut.word1,
          Millionths(count / static_cast<double>(words.of.at(cut.word2)) * 1000000.0), support);
  }
  std::string out;
  for (const std::string& word : words.order) {
    for (const Item& item : lists[word]) {
      out += word + "\t" + item.other + "\t" + Printed("%.2f", item.confidence * 0.0001) + "\t" +
             Printed("%.2f", item.support * 0.0001) + "\n";
    }
  }
  return out;
}

}  // namespace
}  // namespace ulo::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Refused words are reported on standard output: keep the run's log clean.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::perror("/dev/null");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  Bytes bytes(data, size);
  const uint8_t settings = bytes.Byte();
  const int32_t threshold = static_cast<int8_t>(bytes.Byte());
  const int32_t n = bytes.Byte() % 9;  // 0 writes nothing
  std::string text(bytes.Rest());
  // Mostly a table with room to spare, so that no word is refused and the
  // output is known; sometimes a tiny one that refuses words.
  const bool tiny = (settings & 1) != 0;
  const uint32_t slots = tiny ? 8 : 1u << 12;
  // Every refused word costs the whole probe sequence: keep those runs short.
  if (tiny && text.size() > 512) text.resize(512);

  MemoryEnv env;
  env.AddFile(kIn, text);
  ulo::platform::ScopedEnvOverride use(&env);
  std::string out;

  switch (settings >> 1 & 3) {
    case 0:
    case 3: {
      Check(ulo::assoc::FilterPairs(kIn.c_str(), kOut.c_str(), threshold), "filter result");
      Check(env.Contents(kOut, &out), "filter output");
      CheckEqual(out, ulo::oracle::FilteredLines(text, threshold), "filter output");
      break;
    }
    case 1: {
      ulo::assoc::WordFrequencyTable table(
          tiny ? 8 : ulo::assoc::WordFrequencyTable::kSharedProbeLimit, slots);
      Check(ulo::assoc::WriteWordSupportRecords(kIn.c_str(), kOut.c_str(), table),
            "support result");
      Check(table.entryCount() == 0 && table.total() == 0, "table emptied");
      Check(env.Contents(kOut, &out), "support output");
      if (!tiny) CheckEqual(out, ExpectedSupport(text), "support output");
      break;
    }
    case 2: {
      ulo::assoc::TopNRanker ranker(slots);
      ranker.table().Reset();
      bool ranked = ranker.RankFile(kIn.c_str(), kOut.c_str(), n);
      ranker.table().Clear();
      Check(ranked == (n >= 1), "top-N result");
      if (n < 1) {
        Check(!env.Contents(kOut, &out), "top-N output for N below 1");
        break;
      }
      Check(env.Contents(kOut, &out), "top-N output");
      if (!tiny) CheckEqual(out, ExpectedTopN(text, n), "top-N output");
      break;
    }
  }
  return 0;
}
