// The support records and the top-N file of a pair-count file, worked out
// line by line with the frequency table's plain operations and a top list
// kept as a fixed array: the tests and fuzz targets hold the library's
// statistics to them.
#ifndef ULO_TESTS_SUPPORT_STATISTICS_ORACLE_H_
#define ULO_TESTS_SUPPORT_STATISTICS_ORACLE_H_

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "assoc/top_n_ranker.h"
#include "assoc/word_frequency_table.h"
#include "support/cut_lines.h"
#include "support/support_record.h"
#include "text/field_cut.h"

namespace ulo::oracle {

inline std::string Printed(const char* format, double value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Loads both words of every line; `messages` gets what the library prints
// for each word the table refuses.
inline void LoadWords(assoc::WordFrequencyTable& table, const std::vector<CutLine>& lines,
                      std::string* messages) {
  for (const CutLine& fields : lines) {
    if (!table.AddWord(fields.word1, fields.rest)) *messages += "wrong at " + fields.line;
    if (!table.AddWord(fields.word2, fields.rest)) *messages += "wrong at " + fields.line;
  }
}

inline std::string SupportRecordsOf(std::string_view input, int32_t probeLimit,
                                    uint32_t slotCount, std::string* messages) {
  assoc::WordFrequencyTable table(probeLimit, slotCount);
  const std::vector<CutLine> lines = CutLines(input, text::kSupportLimits);
  LoadWords(table, lines, messages);
  std::string records;
  for (const CutLine& fields : lines) {
    int32_t slot1 = table.FindWord(fields.word1);
    int32_t slot2 = table.FindWord(fields.word2);
    if (slot1 < 0 || slot2 < 0) continue;
    double count = std::atof(fields.rest.substr(0, 31).c_str());
    std::string support = Printed("%f", count / static_cast<double>(table.total()) * 100);
    records += testing::SupportRecords(
        fields.word1, fields.word2,
        Printed("%f", count / static_cast<double>(table.FrequencyAt(slot1)) * 100),
        Printed("%f", count / static_cast<double>(table.FrequencyAt(slot2)) * 100), support);
  }
  return records;
}

// The list as a fixed array of N items, all empty at first (other -1): the
// first position that is empty or of strictly lower confidence takes the
// newcomer, the items behind it move on, the last falls off.
inline void ModelOffer(std::vector<assoc::TopNItem>& list, assoc::TopNItem item) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].other == -1 || list[i].confidence < item.confidence) {
      for (size_t k = list.size() - 1; k > i; --k)
        list[k] = list[k - 1];
      list[i] = item;
      return;
    }
  }
}

inline std::string TopNOf(std::string_view input, uint32_t slotCount, int32_t n,
                          std::string* messages) {
  using assoc::ToMillionths;
  using assoc::TopNItem;
  assoc::WordFrequencyTable table(assoc::WordFrequencyTable::kRankerProbeLimit, slotCount);
  const std::vector<CutLine> lines = CutLines(input, text::kTopNLimits);
  LoadWords(table, lines, messages);
  std::map<int32_t, std::vector<TopNItem>> lists;
  const double total = static_cast<double>(table.total());
  for (const CutLine& fields : lines) {
    int32_t slot1 = table.FindWord(fields.word1);
    int32_t slot2 = table.FindWord(fields.word2);
    if (slot1 < 0 || slot2 < 0) continue;
    double count = std::atof(fields.rest.c_str());
    int32_t support = ToMillionths(count / total * 1000000.0);
    for (auto [base, other] : {std::pair{slot1, slot2}, std::pair{slot2, slot1}}) {
      auto [list, created] = lists.try_emplace(base, n, TopNItem{-1, -1, -1});
      ModelOffer(list->second,
                 {other, ToMillionths(count / static_cast<double>(table.FrequencyAt(base)) * 1e6),
                  support});
    }
  }
  std::string file;
  for (int32_t i = 0; i < table.entryCount(); ++i) {
    auto list = lists.find(static_cast<int32_t>(table.entry(i).slot));
    if (list == lists.end()) continue;
    for (const TopNItem& item : list->second) {
      if (item.other == -1) break;
      file += std::string(table.entry(i).word()) + "\t" + std::string(table.WordAt(item.other)) +
              "\t" + Printed("%.2f", item.confidence * 0.0001) + "\t" +
              Printed("%.2f", item.support * 0.0001) + "\n";
    }
  }
  return file;
}

}  // namespace ulo::oracle

#endif  // ULO_TESTS_SUPPORT_STATISTICS_ORACLE_H_
