// The rank options by name: the one list of their names, defaults, checks
// and help that the command line, the C API and the docs share.
#ifndef ULO_ENGINE_RANK_OPTIONS_H_
#define ULO_ENGINE_RANK_OPTIONS_H_

#include <string>
#include <string_view>

#include "engine/stats/rank.h"

namespace ulo::engine {

// Sets the option `name` from its text. False with a sentence in `*error`
// for an unknown name or a value the option refuses (options unchanged).
// Booleans take true/false, 1/0, yes/no.
bool SetRankOption(RankOptions* options, std::string_view name, std::string_view value,
                   std::string* error);

// One line per option: name TAB default TAB help.
std::string DescribeRankOptions();

// The help of the option `name` (empty for an unknown name).
std::string RankOptionHelp(std::string_view name);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_RANK_OPTIONS_H_
