#include "engine/stats/rank_options.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace ulo::engine {
namespace {

bool ParseInteger(std::string_view text, int64_t least, int64_t most, int64_t* value) {
  int64_t parsed = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  if (parsed < least || parsed > most) return false;
  *value = parsed;
  return true;
}

bool ParseBoolean(std::string_view text, bool* value) {
  if (text == "true" || text == "1" || text == "yes") return *value = true, true;
  if (text == "false" || text == "0" || text == "no") return *value = false, true;
  return false;
}

struct RankOption {
  const char* name;
  const char* fallback;  // the default, as text
  const char* help;
  // Sets the option; false for a value it refuses.
  bool (*set)(RankOptions* options, std::string_view value);
};

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

const RankOption kRankOptions[] = {
    {"measure", "llr", "the measure to rank by (see the list of measures)",
     [](RankOptions* options, std::string_view value) {
       std::optional<Measure> measure = ParseMeasure(value);
       if (measure) options->measure = *measure;
       return measure.has_value();
     }},
    {"top", "10", "associated words kept per word",
     [](RankOptions* options, std::string_view value) {
       int64_t top = 0;
       if (!ParseInteger(value, 1, kInt32Max, &top)) return false;
       options->top = static_cast<int32_t>(top);
       return true;
     }},
    {"min_count", "0",
     "leave out the pairs counted fewer times; 0: the measure's default, 5 for the measures "
     "that rate rare pairs highest (pmi, npmi, lift, logdice, dice, jaccard, z, chi2, phi2, "
     "delta_p, log_ratio, min_sensitivity, odds_ratio, confidence), 1 for the others",
     [](RankOptions* options, std::string_view value) {
       return ParseInteger(value, 0, INT64_MAX, &options->minCount);
     }},
    {"min_word_count", "1", "leave out the pairs with a word of a lower frequency",
     [](RankOptions* options, std::string_view value) {
       return ParseInteger(value, 1, INT64_MAX, &options->minWordCount);
     }},
    {"self_pairs", "false", "score a word paired with itself too (left out by default)",
     [](RankOptions* options, std::string_view value) {
       return ParseBoolean(value, &options->selfPairs);
     }},
    {"direction", "both",
     "after: a word's associates are the words that follow it (a line's word2 for its word1), "
     "before: those that precede it; both: either. Meaningful for a count made one way",
     [](RankOptions* options, std::string_view value) {
       if (value == "both") return options->direction = Direction::kBoth, true;
       if (value == "after") return options->direction = Direction::kAfter, true;
       if (value == "before") return options->direction = Direction::kBefore, true;
       return false;
     }},
};

const RankOption* FindOption(std::string_view name) {
  for (const RankOption& option : kRankOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

}  // namespace

bool SetRankOption(RankOptions* options, std::string_view name, std::string_view value,
                   std::string* error) {
  const RankOption* option = FindOption(name);
  if (option == nullptr) {
    *error = "there is no rank option '" + std::string(name) + "'";
    return false;
  }
  RankOptions changed = *options;
  if (!option->set(&changed, value)) {
    *error = "the rank option " + std::string(name) + " cannot be '" + std::string(value) + "'";
    return false;
  }
  *options = changed;
  return true;
}

std::string DescribeRankOptions() {
  std::string text;
  for (const RankOption& option : kRankOptions) {
    text += option.name;
    text += '\t';
    text += option.fallback;
    text += '\t';
    text += option.help;
    text += '\n';
  }
  return text;
}

std::string RankOptionHelp(std::string_view name) {
  const RankOption* option = FindOption(name);
  return option == nullptr ? std::string() : option->help;
}

}  // namespace ulo::engine
