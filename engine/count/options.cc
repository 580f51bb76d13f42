#include "engine/count/options.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "engine/text/encoding.h"
#include "engine/words/candidates.h"

namespace ulo::engine {
namespace {

bool ParseBool(std::string_view text, bool* value) {
  for (std::string_view yes : {"true", "1", "yes"}) {
    if (text == yes) return *value = true;
  }
  for (std::string_view no : {"false", "0", "no"}) {
    if (text == no) return !(*value = false);
  }
  return false;
}

bool ParseInteger(std::string_view text, int64_t minimum, int64_t maximum, int64_t* value) {
  const char* end = text.data() + text.size();
  auto [stop, code] = std::from_chars(text.data(), end, *value);
  return code == std::errc() && stop == end && *value >= minimum && *value <= maximum;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

bool ParseNumber(std::string_view text, double minimum, double* value) {
  const char* end = text.data() + text.size();
  auto [stop, code] = std::from_chars(text.data(), end, *value);
  return code == std::errc() && stop == end && *value >= minimum &&
         *value <= std::numeric_limits<double>::max();
}

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

}  // namespace

const std::vector<OptionRow>& CountOptionTable() {
  // Chosen for what people mine: associations of content words.
  static const std::vector<OptionRow> table = {
      {"window", "3", "pair every token with the next N tokens of its line"},
      {"one_way", "false", "count each pair in reading order only, not in both directions"},
      {"tokenizer", "whitespace",
       "whitespace: words separated by white space of any script; chars: every letter or "
       "ideograph is a token, punctuation, symbols and digits skipped"},
      {"source_encoding", "",
       "the corpora's encoding (for example UTF-8), converted into the library's, which has "
       "every character; empty: the corpora are in it already (GB18030, or GB2312)"},
      {"encoding", "gb18030",
       "the encoding of the files written: gb18030, or gb2312 for hosts that need it, where a "
       "token holding a character without a GB2312 form is dropped whole and counted"},
      {"stopwords", "default",
       "default: drop the common Chinese and English function words of ulo's own lists; "
       "none: keep them"},
      {"stopword_file", "",
       "also drop the words of FILE (one a line, in the corpora's encoding); may be given more "
       "than once"},
      {"drop_punctuation", "true",
       "drop tokens made only of punctuation, symbols or digits, ASCII or full-width"},
      {"jobs", "0",
       "count whole files in N worker processes at once, each with a counting run of its own "
       "(0: one per processor); peak memory is N times one run's, about 185 MB each"},
      {"per_pair_commands", "false",
       "hand every pair to the library as a command of its own (slow; otherwise each distinct "
       "pair of a batch of lines goes once, with its count, through the pair's export)"},
  };
  return table;
}

const std::vector<OptionRow>& RankOptionTable() {
  static const std::vector<OptionRow> table = {
      {"measure", "llr", "the association measure that orders each word's list"},
      {"top", "10", "associated words kept per word"},
      {"min_count", "0",
       "pairs counted fewer times are not scored; 0: the measure's default, 5 for the measures "
       "that rate rare pairs highest (pmi, npmi, lift, logdice, dice, jaccard, z, chi2, phi2, "
       "delta_p, log_ratio, min_sensitivity, odds_ratio, confidence), 1 for the others"},
      {"min_word_count", "1", "pairs with a word of a lower frequency are not scored"},
      {"self_pairs", "false", "score a word paired with itself too (left out by default)"},
      {"direction", "both",
       "after: a word's associates are the words that follow it (a line's word2 for its "
       "word1); before: those that precede it; both: either. Meaningful for a count made one "
       "way"},
      {"marginals", "pairs",
       "pairs: a word's frequency sums the counts of its pairs and the total is twice the sum "
       "of all counts; tokens: a word's frequency is its token count and the total the number "
       "of tokens, from the counts a count writes beside its pairs (PAIRS.tokens), each pair's "
       "count divided by the window, as collocation finders over a token stream have them"},
      {"to", kPeopleEncoding,
       "the encoding of the ranking's words: UTF-8 for people, or another (the library's "
       "own is GB18030)"},
  };
  return table;
}

const std::vector<OptionRow>& WordOptionTable() {
  // Chosen on the Chinese manual pages: real words first, few fragments.
  static const std::vector<OptionRow> table = {
      {"max_length", "4", "the longest candidate, in letters (from 2)"},
      {"min_count", "5", "candidates seen fewer times are not scored"},
      {"min_cohesion", "1",
       "the least cohesion kept: the smallest pmi (log2) over the candidate's split points"},
      {"min_freedom", "1",
       "the least freedom kept: the smaller entropy (bits) of the characters before and after "
       "the candidate"},
      {"top", "100", "words listed, best first (0: every word that passes)"},
  };
  return table;
}

namespace {

const OptionRow& Row(const std::vector<OptionRow>& table, std::string_view name) {
  for (const OptionRow& row : table) {
    if (name == row.name) return row;
  }
  std::abort();  // a name the code spells wrong
}

}  // namespace

const OptionRow& CountOptionRow(std::string_view name) {
  return Row(CountOptionTable(), name);
}

const OptionRow& RankOptionRow(std::string_view name) {
  return Row(RankOptionTable(), name);
}

const OptionRow& WordOptionRow(std::string_view name) {
  return Row(WordOptionTable(), name);
}

CountSettings::CountSettings() {
  std::string ignored;
  for (const OptionRow& row : CountOptionTable())
    SetCountOption(this, row.name, row.value, &ignored);
}

bool SetCountOption(CountSettings* settings, std::string_view name, std::string_view value,
                    std::string* error) {
  bool flag = false;
  int64_t number = 0;
  auto bad = [&](const std::string& expected) {
    *error =
        "the count option " + std::string(name) + " takes " + expected + ", not " + Quoted(value);
    return false;
  };
  if (name == "window") {
    if (!ParseInteger(value, 1, kInt32Max, &number)) return bad("a whole number from 1");
    settings->window = static_cast<int>(number);
  } else if (name == "one_way") {
    if (!ParseBool(value, &flag)) return bad("true or false");
    settings->oneWay = flag;
  } else if (name == "tokenizer") {
    if (value == "whitespace") {
      settings->mode = TokenMode::kWords;
    } else if (value == "chars") {
      settings->mode = TokenMode::kChars;
    } else {
      return bad("whitespace or chars");
    }
  } else if (name == "source_encoding") {
    if (!value.empty()) {
      *error = SourceEncodingProblem(std::string(value));
      if (!error->empty()) return false;
    }
    settings->from = value;
  } else if (name == "encoding") {
    if (SameEncodingName(value, "GB18030")) {
      settings->filters.gb2312Only = false;
    } else if (SameEncodingName(value, "GB2312")) {
      settings->filters.gb2312Only = true;
    } else {
      return bad("gb18030 or gb2312");
    }
  } else if (name == "stopwords") {
    if (value == "default") {
      settings->filters.defaultStopwords = true;
    } else if (value == "none") {
      settings->filters.defaultStopwords = false;
    } else {
      return bad("default or none");
    }
  } else if (name == "stopword_file") {
    if (!value.empty()) settings->filters.stopwordFiles.emplace_back(value);
  } else if (name == "drop_punctuation") {
    if (!ParseBool(value, &flag)) return bad("true or false");
    settings->filters.dropPunctuation = flag;
  } else if (name == "jobs") {
    if (!ParseInteger(value, 0, kMaxJobs, &number)) {
      return bad("a whole number from 0 to " + std::to_string(kMaxJobs));
    }
    settings->jobs = static_cast<int>(number);
  } else if (name == "per_pair_commands") {
    if (!ParseBool(value, &flag)) return bad("true or false");
    settings->perPairCommands = flag;
  } else {
    *error = "no count option is called " + Quoted(name);
    return false;
  }
  return true;
}

bool SetRankOption(RankOptions* options, std::string_view name, std::string_view value,
                   std::string* error) {
  int64_t number = 0;
  bool flag = false;
  auto bad = [&](const std::string& expected) {
    *error =
        "the rank option " + std::string(name) + " takes " + expected + ", not " + Quoted(value);
    return false;
  };
  if (name == "measure") {
    std::optional<Measure> measure = ParseMeasure(value);
    if (!measure) return bad("one of the measures' names");
    options->measure = *measure;
  } else if (name == "top") {
    if (!ParseInteger(value, 1, kInt32Max, &number)) return bad("a whole number from 1");
    options->top = static_cast<int32_t>(number);
  } else if (name == "min_count") {
    if (!ParseInteger(value, 0, std::numeric_limits<int64_t>::max(), &number)) {
      return bad("a whole number from 0");
    }
    options->minCount = number;
  } else if (name == "min_word_count") {
    if (!ParseInteger(value, 1, std::numeric_limits<int64_t>::max(), &number)) {
      return bad("a whole number from 1");
    }
    options->minWordCount = number;
  } else if (name == "self_pairs") {
    if (!ParseBool(value, &flag)) return bad("true or false");
    options->selfPairs = flag;
  } else if (name == "direction") {
    if (value == "both") {
      options->direction = Direction::kBoth;
    } else if (value == "after") {
      options->direction = Direction::kAfter;
    } else if (value == "before") {
      options->direction = Direction::kBefore;
    } else {
      return bad("after, before or both");
    }
  } else if (name == "marginals") {
    if (value == "pairs") {
      options->marginals = Marginals::kPairs;
    } else if (value == "tokens") {
      options->marginals = Marginals::kTokens;
    } else {
      return bad("pairs or tokens");
    }
  } else if (name == "to") {
    Converter check;
    if (!check.Open(kLibraryEncoding, std::string(value), error)) return false;
    options->to = value;
  } else {
    *error = "no rank option is called " + Quoted(name);
    return false;
  }
  return true;
}

WordOptions::WordOptions() {
  std::string ignored;
  for (const OptionRow& row : WordOptionTable())
    SetWordOption(this, row.name, row.value, &ignored);
}

bool SetWordOption(WordOptions* options, std::string_view name, std::string_view value,
                   std::string* error) {
  int64_t number = 0;
  auto bad = [&](const std::string& expected) {
    *error =
        "the word option " + std::string(name) + " takes " + expected + ", not " + Quoted(value);
    return false;
  };
  if (name == "max_length") {
    if (!ParseInteger(value, 2, kMaxCandidateLength, &number)) {
      return bad("a whole number from 2 to " + std::to_string(kMaxCandidateLength));
    }
    options->maxLength = static_cast<int>(number);
  } else if (name == "min_count") {
    if (!ParseInteger(value, 1, std::numeric_limits<int64_t>::max(), &number)) {
      return bad("a whole number from 1");
    }
    options->minCount = number;
  } else if (name == "min_cohesion" || name == "min_freedom") {
    double bound = 0;
    if (!ParseNumber(value, -std::numeric_limits<double>::max(), &bound)) {
      return bad("a decimal number");
    }
    (name == "min_cohesion" ? options->minCohesion : options->minFreedom) = bound;
  } else if (name == "top") {
    if (!ParseInteger(value, 0, kInt32Max, &number)) return bad("a whole number from 0");
    options->top = static_cast<int32_t>(number);
  } else {
    *error = "no word option is called " + Quoted(name);
    return false;
  }
  return true;
}

std::string DescribeOptions(const std::vector<OptionRow>& table) {
  std::string text;
  for (const OptionRow& row : table) {
    text += row.name;
    text += '\t';
    text += row.value;
    text += '\t';
    text += row.help;
    text += '\n';
  }
  return text;
}

}  // namespace ulo::engine
