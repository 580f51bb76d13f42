// The frequency sidecar of a pair-count file: each word's frequency (the
// sum of the counts of the lines it stands in) and the total, written once
// beside the file as PAIRS.freq so that one word's associations need only
// its own lines. The sidecar names the size and time of the file it was
// made from; a sidecar that does not match them is rebuilt, never trusted.
//
// PAIRS.freq, in the pair file's encoding (the library's bytes):
//   ulo-frequencies 3 SIZE MTIME MIRRORED TOTAL CHECKED
//   word TAB frequency        (one a word, in byte order)
// MIRRORED is 1 when every line (a, b, n) has its mirror (b, a, n), as in a
// count of both directions: then a word's own lines hold all its pairs.
// CHECKED is 1 when the file was checked whole as it was made (not under
// --trust-input; a parts directory: every part, each within its range of
// first words): only then does the sidecar spare a checked run the check.
#ifndef ULO_ENGINE_QUERY_WORD_FREQUENCIES_H_
#define ULO_ENGINE_QUERY_WORD_FREQUENCIES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/files/staging.h"

namespace ulo::engine {

class WordFrequencies {
 public:
  // Reads the sidecar of `pairs` (a file or a parts directory), or, when it
  // is missing or stale, makes it in one pass over `pairs` (checked first
  // unless `trustInput`) and writes it, staged. A sidecar that cannot be
  // written is only kept in memory. False with a sentence in `*error`.
  bool Open(const std::string& pairs, bool trustInput, std::string* error,
            const OutputOptions& output = {});

  std::optional<int64_t> Find(std::string_view word) const;

  // Frequencies asked in ascending byte order of the words (a word's lines
  // name their partners so): one walk over the sidecar, however many.
  class Walk {
   public:
    explicit Walk(const WordFrequencies& frequencies)
        : text(std::string_view(frequencies.text).substr(frequencies.words)) {}
    std::optional<int64_t> Find(std::string_view word);

   private:
    std::string_view text;
    size_t at = 0;
  };
  int64_t total() const { return sum; }
  bool mirrored() const { return mirror; }
  // Calls visit(word, frequency) for every word, in byte order.
  template <typename Visit>
  void ForEach(Visit visit) const;

  // Where the sidecar of `pairs` lies.
  static std::string PathFor(const std::string& pairs);
  // The file beside `pairs` (a file, or a directory named with or without
  // its trailing slashes) whose name adds `suffix`.
  static std::string BesidePath(const std::string& pairs, const std::string& suffix);

 private:
  bool Read(const std::string& path, const std::string& stamp);
  bool Make(const std::string& pairs, const std::string& stamp, std::string* error);

  std::string text;  // the sidecar, its first line included
  size_t words = 0;  // where the word lines begin in `text`
  int64_t sum = 0;
  bool mirror = false;
  bool checked = false;
};

template <typename Visit>
void WordFrequencies::ForEach(Visit visit) const {
  for (size_t at = words; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    size_t tab = line.find('\t');
    if (tab != std::string_view::npos)
      visit(line.substr(0, tab), std::stoll(std::string(line.substr(tab + 1))));
    at = end + 1;
  }
}

}  // namespace ulo::engine

#endif  // ULO_ENGINE_QUERY_WORD_FREQUENCIES_H_
