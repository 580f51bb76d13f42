#include "engine/merge/key_ranges.h"

#include <algorithm>
#include <cstring>

namespace ulo::engine {
namespace {

// Samples taken from every input for each range wanted, and at most this
// many in all: a caller may ask for any number of ranges, and the plan's
// memory stays bounded (about 24 bytes a sample).
constexpr size_t kSamplesPerRange = 64;
constexpr size_t kSampleBudget = size_t{1} << 20;

size_t NextLine(std::string_view text, size_t at) {
  size_t lf = text.find('\n', at);
  return lf == std::string_view::npos ? text.size() : lf + 1;
}

size_t LineStartAtOrAfter(std::string_view text, size_t at) {
  if (at == 0 || at >= text.size()) return std::min(at, text.size());
  return text[at - 1] == '\n' ? at : NextLine(text, at);
}

std::string_view FirstWord(std::string_view text, size_t at) {
  size_t end = text.find_first_of("\t\n", at);
  if (end == std::string_view::npos) end = text.size();
  return text.substr(at, end - at);
}

// The order of two keys "word1 TAB word2": by word1, then word2, bytes as
// unsigned values, a word before its own extensions (the TAB sorts first).
int KeyOrder(std::string_view a, std::string_view b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (a[i] == b[i]) continue;
    if (a[i] == '\t') return -1;
    if (b[i] == '\t') return 1;
    return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

KeyRange RangeOf(const std::vector<std::string>& keys, size_t k) {
  KeyRange range;
  if (k > 0) range.low = &keys[k - 1];
  if (k < keys.size()) range.high = &keys[k];
  return range;
}

std::vector<std::string> PickSplitKeys(const std::vector<std::string_view>& inputs, int ranges) {
  // Each sample stands for the bytes between it and the next one.
  std::vector<std::pair<std::string_view, double>> samples;
  std::string_view lowest;
  bool seen = false;
  double total = 0;
  size_t sampled = std::count_if(inputs.begin(), inputs.end(),
                                 [](std::string_view text) { return !text.empty(); });
  size_t count = std::min(kSamplesPerRange * static_cast<size_t>(std::max(ranges, 1)),
                          std::max<size_t>(1, kSampleBudget / std::max<size_t>(sampled, 1)));
  for (std::string_view text : inputs) {
    if (text.empty()) continue;
    double weight = static_cast<double>(text.size()) / static_cast<double>(count);
    size_t taken = text.size();  // the line of the last sample
    for (size_t j = 0; j < count; ++j) {
      size_t at = LineStartAtOrAfter(text, text.size() * j / count);
      if (at >= text.size()) continue;
      total += weight;
      // Samples falling in one line are one sample of their weights.
      if (at == taken) {
        samples.back().second += weight;
        continue;
      }
      taken = at;
      std::string_view word = FirstWord(text, at);
      if (j == 0 && (!seen || word < lowest)) lowest = word;
      seen = true;
      samples.emplace_back(word, weight);
    }
  }
  std::sort(samples.begin(), samples.end());
  std::vector<std::string> keys;
  double reached = 0;
  int next = 1;
  for (const auto& [word, weight] : samples) {
    reached += weight;
    if (next >= ranges) break;
    if (reached < total * next / ranges) continue;
    // A key at the lowest first word would leave the range below it empty.
    if (word > lowest && (keys.empty() || word > keys.back())) keys.emplace_back(word);
    // Straight to about the first share not yet reached, then exactly there.
    next = std::max(next, static_cast<int>(std::min<double>(ranges, reached * ranges / total)));
    while (next < ranges && reached >= total * next / ranges)
      ++next;
  }
  return keys;
}

bool SampleSplitKeys(const std::vector<std::string>& inputs, int ranges,
                     std::vector<std::string>* keys, std::string* error) {
  constexpr size_t kSampledFiles = 1024;
  size_t step = std::max<size_t>(1, (inputs.size() + kSampledFiles - 1) / kSampledFiles);
  std::vector<MappedFile> maps;
  std::vector<std::string_view> texts;
  maps.reserve(inputs.size() / step + 1);
  for (size_t i = 0; i < inputs.size(); i += step) {
    if (!maps.emplace_back().Open(inputs[i], error)) return false;
    texts.push_back(maps.back().text());
  }
  *keys = PickSplitKeys(texts, ranges);
  return true;
}

size_t CutAt(std::string_view text, std::string_view key) {
  // lo is a line start with every line before it below the key; hi is a
  // line start (or the end) at or above it.
  size_t lo = 0, hi = text.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    size_t at = LineStartAtOrAfter(text, mid);
    if (at >= hi) {
      // No line starts in [mid, hi): the few lines from lo decide.
      while (lo < hi && FirstWord(text, lo) < key)
        lo = NextLine(text, lo);
      return lo;
    }
    if (FirstWord(text, at) < key) {
      lo = NextLine(text, at);
    } else {
      hi = at;
    }
  }
  return lo;
}

std::string OrderProblem(std::string_view text, KeyRange range) {
  const char* data = text.data();
  size_t end = text.size();
  std::string_view previous;
  for (size_t at = 0; at < end;) {
    // The merge writes "word1 TAB word2 TAB count LF": two TABs, then the LF.
    const char* tab1 = static_cast<const char*>(std::memchr(data + at, '\t', end - at));
    const char* tab2 =
        tab1 == nullptr
            ? nullptr
            : static_cast<const char*>(std::memchr(tab1 + 1, '\t', data + end - tab1 - 1));
    if (tab2 == nullptr) return "a line without two TABs at byte " + std::to_string(at);
    const void* lf = std::memchr(tab2, '\n', data + end - tab2);
    size_t next =
        lf == nullptr ? end : static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
    std::string_view key(data + at, static_cast<size_t>(tab2 - data) - at);
    std::string_view word1 = key.substr(0, static_cast<size_t>(tab1 - data) - at);
    bool below =
        at == 0 ? range.low != nullptr && word1 < *range.low : KeyOrder(previous, key) >= 0;
    bool above = next == end && range.high != nullptr && !(word1 < *range.high);
    if (below || above) return "a line out of order at byte " + std::to_string(at);
    previous = key;
    at = next;
  }
  return "";
}

}  // namespace ulo::engine
