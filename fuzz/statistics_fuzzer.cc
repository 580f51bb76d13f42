// The three statistics readers on fuzzed pair-count files, in memory: the
// filter, the support records and the top-N ranking must each write exactly
// what a plain line-by-line version of its job writes.
#include <cstdint>
#include <cstdio>
#include <string>

#include "assoc/pair_filter.h"
#include "assoc/support_records.h"
#include "assoc/top_n_ranker.h"
#include "assoc/word_frequency_table.h"
#include "fuzz_support.h"
#include "support/cut_lines.h"
#include "support/statistics_oracle.h"

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
  // Mostly a table with room to spare; sometimes a tiny one that refuses
  // words.
  const bool tiny = (settings & 1) != 0;
  const uint32_t slots = tiny ? 8 : 1u << 12;
  // Every refused word costs the whole probe sequence: keep those runs short.
  if (tiny && text.size() > 512) text.resize(512);

  const std::string kIn = "/in", kOut = "/out";
  MemoryEnv env;
  env.AddFile(kIn, text);
  ulo::platform::ScopedEnvOverride use(&env);
  std::string out, messages;

  switch (settings >> 1 & 3) {
    case 0:
    case 3: {
      Check(ulo::assoc::FilterPairs(kIn.c_str(), kOut.c_str(), threshold), "filter result");
      Check(env.Contents(kOut, &out), "filter output");
      CheckEqual(out, ulo::oracle::FilteredLines(text, threshold), "filter output");
      break;
    }
    case 1: {
      const int32_t probeLimit = tiny ? 8 : ulo::assoc::WordFrequencyTable::kSharedProbeLimit;
      ulo::assoc::WordFrequencyTable table(probeLimit, slots);
      Check(ulo::assoc::WriteWordSupportRecords(kIn.c_str(), kOut.c_str(), table),
            "support result");
      Check(table.entryCount() == 0 && table.total() == 0, "table emptied");
      Check(env.Contents(kOut, &out), "support output");
      CheckEqual(out, ulo::oracle::SupportRecordsOf(text, probeLimit, slots, &messages),
                 "support output");
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
      CheckEqual(out, ulo::oracle::TopNOf(text, slots, n, &messages), "top-N output");
      break;
    }
  }
  return 0;
}
