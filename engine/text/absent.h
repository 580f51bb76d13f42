// What to tell someone who asks for a word a file does not hold: why the
// filters of a count would have removed it, and the words that begin like it.
#ifndef ULO_ENGINE_ABSENT_H_
#define ULO_ENGINE_ABSENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/encoding.h"

namespace ulo::engine {

// Why the default filters of `ulo run` drop `word` (library text), as a
// phrase: "a stop word of ulo's lists" or "only punctuation, symbols or
// digits"; empty when they keep it.
std::string FilteredReason(std::string_view word);

// The words of a file closest to an absent one by prefix: those that share
// the most leading characters with it (one at least), the most frequent first.
class PrefixNeighbours {
 public:
  explicit PrefixNeighbours(std::string_view word) : word(word) {}
  void Offer(std::string_view candidate, int64_t frequency);
  // At most `limit`, best first.
  std::vector<std::string> Best(size_t limit) const;

 private:
  struct Candidate {
    std::string text;
    int64_t frequency;
  };
  std::string word;
  size_t shared = 0;  // bytes of whole characters shared by the candidates
  std::vector<Candidate> candidates;
};

// The sentence for `word` (library text), absent from `file`, in the
// people's encoding: "'WORD' is not in FILE (REASON...); words beginning
// like it: A, B".
std::string AbsentWordMessage(PeopleText& text, const std::string& word, const std::string& file,
                              const PrefixNeighbours& neighbours);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_ABSENT_H_
