#include "engine/query/word_query.h"

#include <vector>

#include "engine/files/file_kind.h"
#include "engine/files/pair_parts.h"
#include "engine/query/sorted_lines.h"

namespace ulo::engine {

bool RankWord(const std::string& pairs, const WordFrequencies& frequencies,
              const std::string& word, const RankOptions& options, Ranking* ranking,
              std::string* error) {
  std::vector<std::string> bases = {word};
  if (!frequencies.mirrored() && options.direction != Direction::kAfter)
    return ranking->Build(pairs, options, error, &bases);
  ranking->SetOptions(options);
  std::optional<int64_t> frequency = frequencies.Find(word);
  if (!frequency) return true;
  std::vector<std::string> lines;
  if (!KeyLinesInFile(pairs, word, &lines, error)) return false;
  ranking->AddTotal(frequencies.total());
  ranking->AddFrequency(word, *frequency);
  std::string_view word1, word2;
  int64_t count = 0;
  for (const std::string& line : lines) {
    if (ParsePairLine(line, &word1, &word2, &count) && word2 != word)
      ranking->AddFrequency(word2, frequencies.Find(word2).value_or(0));
  }
  ranking->Keep(&bases);
  // In a mirrored file the line (other, word) stands where `other`'s lines
  // are; it is scored as the whole file's pass meets it, before or after
  // the word's own line.
  for (const std::string& line : lines) {
    if (!ParsePairLine(line, &word1, &word2, &count)) continue;
    std::string mirror;
    if (frequencies.mirrored() && word2 != word1) {
      mirror = std::string(word2) + '\t' + std::string(word1) + '\t' + std::to_string(count);
    }
    if (!mirror.empty() && word2 < word1) ranking->ScoreLine(mirror);
    ranking->ScoreLine(line);
    if (!mirror.empty() && word1 < word2) ranking->ScoreLine(mirror);
  }
  return true;
}

bool WordRankingText(const std::string& pairs, const std::string& word,
                     const RankOptions& options, std::string* text, std::string* error) {
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
  return true;
}

}  // namespace ulo::engine
