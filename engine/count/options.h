// Counting and ranking options by name: one table of names, defaults and
// help that `ulo`, the C API and every front-end share, and the one place
// where an option's text value is checked and taken.
#ifndef ULO_ENGINE_COUNT_OPTIONS_H_
#define ULO_ENGINE_COUNT_OPTIONS_H_

#include <string>
#include <string_view>
#include <vector>

#include "engine/count/share_count.h"
#include "engine/stats/rank.h"
#include "engine/words/new_words.h"

namespace ulo::engine {

struct OptionRow {
  const char* name;
  const char* value;  // the default, as text
  const char* help;
};

// Most worker processes a count takes: a worker costs a process and about
// 185 MB, so more is a typo.
constexpr int kMaxJobs = 256;

const std::vector<OptionRow>& CountOptionTable();
const std::vector<OptionRow>& RankOptionTable();
const std::vector<OptionRow>& WordOptionTable();
// The row of `name`; the program stops on a name not in the table.
const OptionRow& CountOptionRow(std::string_view name);
const OptionRow& RankOptionRow(std::string_view name);
const OptionRow& WordOptionRow(std::string_view name);

// Sets the option `name` from its text; false with a sentence in `*error`
// for an unknown name or a value the option does not take.
bool SetCountOption(CountSettings* settings, std::string_view name, std::string_view value,
                    std::string* error);
bool SetRankOption(RankOptions* options, std::string_view name, std::string_view value,
                   std::string* error);

bool SetWordOption(WordOptions* options, std::string_view name, std::string_view value,
                   std::string* error);

// The table as lines: name TAB default TAB help.
std::string DescribeOptions(const std::vector<OptionRow>& table);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_COUNT_OPTIONS_H_
