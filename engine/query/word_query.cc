#include "engine/query/word_query.h"

#include <vector>

#include "engine/files/file_kind.h"
#include "engine/files/pair_parts.h"
#include "engine/query/sorted_lines.h"

namespace ulo::engine {

bool RankWord(const std::string& pairs, const WordFrequencies& frequencies, const std::string& word,
              const RankOptions& options, Ranking* ranking, std::string* error) {
  std::vector<std::string> bases = {word};
  if (!frequencies.mirrored() && options.direction != Direction::kAfter)
    return ranking->Build(pairs, options, error, &bases);
  ranking->SetOptions(options);
  if (!ranking->ReadMarginals(pairs, error)) return false;
  std::optional<int64_t> frequency = frequencies.Find(word);
  if (!frequency) return true;
  std::vector<std::string> lines;
  if (!KeyLinesInFile(pairs, word, &lines, error)) return false;
  ranking->Reserve(lines.size() + 1);
  ranking->AddTotal(frequencies.total());
  const uint32_t self = ranking->AddFrequency(word, *frequency);
  struct Partner {
    uint32_t id;
    int64_t count;
    bool below;  // the partner sorts before the word
  };
  std::vector<Partner> partners;
  partners.reserve(lines.size());
  WordFrequencies::Walk walk(frequencies);
  std::string_view word1, word2;
  int64_t count = 0;
  for (const std::string& line : lines) {
    if (!ParsePairLine(line, &word1, &word2, &count)) continue;
    uint32_t id = word2 == word ? self : ranking->AddFrequency(word2, walk.Find(word2).value_or(0));
    partners.push_back({id, count, word2 < word1});
  }
  ranking->Keep(&bases);
  // In a mirrored file the line (other, word) stands where `other`'s lines
  // are; it is scored as the whole file's pass meets it, before or after
  // the word's own line.
  const bool mirrored = frequencies.mirrored();
  for (const Partner& partner : partners) {
    bool mirror = mirrored && partner.id != self;
    if (mirror && partner.below) ranking->ScorePair(partner.id, self, partner.count);
    ranking->ScorePair(self, partner.id, partner.count);
    if (mirror && !partner.below) ranking->ScorePair(partner.id, self, partner.count);
  }
  return true;
}

bool WordRankingText(const std::string& pairs, const std::string& word, const RankOptions& options,
                     std::string* text, std::string* error) {
  if (std::string problem = PairFileProblem(pairs); !problem.empty()) {
    *error = "cannot read the pair-count file " + pairs + ": " + problem;
    return false;
  }
  if (std::string problem = WrongKindProblem(pairs, FileKind::kPairs); !problem.empty()) {
    *error = problem;
    return false;
  }
  WordFrequencies frequencies;
  Ranking ranking;
  PeopleText shown;
  if (!frequencies.Open(pairs, false, error) ||
      !RankWord(pairs, frequencies, word, options, &ranking, error) ||
      !shown.Open(options.to, kPeopleEncoding, error)) {
    return false;
  }
  text->clear();
  std::optional<uint32_t> id = ranking.Find(word);
  if (!id) return true;
  for (const RankedItem& item : ranking.List(*id))
    *text += RankedLine(ranking, *id, item, &shown);
  // A byte no character has would be dropped, and two words shown as one.
  *error = shown.ShownTextProblem(pairs);
  if (error->empty()) return true;
  text->clear();
  return false;
}

}  // namespace ulo::engine
