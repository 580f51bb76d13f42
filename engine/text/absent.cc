#include "engine/text/absent.h"

#include <algorithm>

#include "engine/text/characters.h"
#include "engine/text/filter.h"

namespace ulo::engine {
namespace {

// Candidates kept while they tie: enough to choose the most frequent from.
constexpr size_t kKept = 256;

}  // namespace

std::string FilteredReason(std::string_view word) {
  if (IsPunctuationToken(word)) return "only punctuation, symbols or digits";
  TokenFilter defaults;
  FilterOptions options;
  options.defaultStopwords = true;
  std::string error;
  std::vector<std::string_view> tokens = {word};
  if (defaults.Open(options, "", &error)) defaults.Apply(&tokens);
  return tokens.empty() ? "a stop word of ulo's lists" : "";
}

void PrefixNeighbours::Offer(std::string_view candidate, int64_t frequency) {
  size_t common = 0;
  while (common < word.size() && common < candidate.size()) {
    size_t length = CharacterLength(word, common);
    if (candidate.compare(common, length, word, common, length) != 0) break;
    common += length;
  }
  if (common == 0 || common < shared || candidate == word) return;
  if (common > shared) {
    shared = common;
    candidates.clear();
  }
  for (Candidate& known : candidates) {
    if (known.text == candidate) {
      known.frequency = std::max(known.frequency, frequency);
      return;
    }
  }
  candidates.push_back({std::string(candidate), frequency});
  if (candidates.size() >= 2 * kKept) {
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
      return a.frequency != b.frequency ? a.frequency > b.frequency : a.text < b.text;
    });
    candidates.resize(kKept);
  }
}

std::vector<std::string> PrefixNeighbours::Best(size_t limit) const {
  std::vector<Candidate> sorted = candidates;
  std::sort(sorted.begin(), sorted.end(), [](const Candidate& a, const Candidate& b) {
    return a.frequency != b.frequency ? a.frequency > b.frequency : a.text < b.text;
  });
  std::vector<std::string> best;
  for (size_t i = 0; i < sorted.size() && i < limit; ++i)
    best.push_back(sorted[i].text);
  return best;
}

std::string AbsentWordMessage(PeopleText& text, const std::string& word, const std::string& file,
                              const PrefixNeighbours& neighbours) {
  std::string message = "'" + text.Show(word) + "' is not in " + file;
  std::string reason = FilteredReason(word);
  if (!reason.empty()) message += " (" + reason + ", which the count's filters may have dropped)";
  std::vector<std::string> best = neighbours.Best(5);
  if (best.empty()) return message + "; no word there begins like it";
  message += "; words beginning like it:";
  for (size_t i = 0; i < best.size(); ++i)
    message += (i == 0 ? " " : ", ") + text.Show(best[i]);
  return message;
}

}  // namespace ulo::engine
