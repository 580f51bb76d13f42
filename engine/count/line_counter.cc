#include "engine/count/line_counter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "engine/files/checks.h"
#include "engine/files/mapped_file.h"
#include "engine/files/seal.h"
#include "engine/files/staging.h"
#include "engine/text/tokenizer.h"
#include "engine/words/candidates.h"

namespace ulo::engine {
namespace {

// A spill that failed shows as a refused pair or a failed End: the
// system's cause, where it still shows, names it; else `otherwise` stands.
std::string SpillFailure(const std::string& workDir, int captured, const std::string& what,
                         const std::string& otherwise) {
  std::string cause = WriteFailureCause(workDir + "/temp", captured);
  if (cause.empty()) return otherwise;
  return "cannot write a spill file in " + workDir + ": " + cause + " (" + what + ")";
}

}  // namespace

uint64_t LineNumberAt(const std::string& path, uint64_t offset) {
  uint64_t lines = 1;
  // Nothing is read for the first line: the corpus may be a pipe, whose
  // bytes a read would take from the count.
  if (offset == 0) return lines;
  std::string unread;  // a file that cannot be read counts from line 1
  ForEachBlock(
      path,
      [&](std::string_view bytes) {
        bytes = bytes.substr(0, static_cast<size_t>(std::min<uint64_t>(bytes.size(), offset)));
        lines += CountLines(bytes);
        offset -= bytes.size();
        return offset > 0;
      },
      &unread);
  return lines;
}

LineCounter::LineCounter(const Exports& exports, const CountSettings& settings,
                         const TokenFilter& filter)
    : exports(exports), settings(settings), filter(filter), session(exports, settings.direct) {}

LineCounter::~LineCounter() {
  if (begun) {
    std::string ignored;
    End(&ignored);
  }
}

bool LineCounter::Begin(const std::string& dir, std::string* error) {
  workDir = dir;
  // The library numbers every run's spill files from temp1.txt: an earlier
  // run's would be overwritten, or mixed with this one's.
  for (const std::string& name : FileNames(dir)) {
    if (!IsSpillFileName(name)) continue;
    *error = "cannot count into " + dir + ": it holds " + name +
             " of an earlier run, which this run's spill files would overwrite or join; "
             "count into an empty directory";
    return false;
  }
  if (!settings.from.empty()) {
    // Hosts may set the encoding without SetCountOption.
    *error = SourceEncodingProblem(settings.from);
    if (!error->empty()) return false;
    converter.emplace();
    if (!converter->Open(settings.from, kLibraryEncoding, error)) return false;
  }
  if (!session.Open(error)) return false;
  int32_t status = session.Begin(workDir);
  if (status != 0) {
    *error = "cannot open a counting run in " + workDir + " (status " + std::to_string(status) +
             ": " + DescribeStatus(status) + ")";
    return false;
  }
  begun = true;
  auto addPair = exports.addPair;
  batch.emplace(
      [this, addPair](const char* word1, const char* word2, int32_t count) {
        ++counted.libraryCalls;
        if (addPair(word1, word2, count, settings.oneWay ? 1 : 0) == 1) return true;
        failed = SpillFailure(workDir, errno,
                              "while counting " + origin + ": the pair's export answered false",
                              "the library refused a pair while counting " + origin +
                                  " (the pair's export answered false; a spill file in " + workDir +
                                  " may not have been written)");
        return false;
      },
      !settings.oneWay);
  batch->TallyTokens([this](const PairBatch::Tallied& words) { unigrams.AddAll(words); });
  return true;
}

bool LineCounter::CountLine(std::string_view line, std::string* problem) {
  ++counted.lines;
  // Text that is not what it claims to be is refused, not counted as
  // noise. Through a source encoding, the converter judges it.
  *problem = CorpusLineProblem(line, !converter);
  if (!problem->empty()) return false;
  if (converter) {
    if (!ConvertWhole(*converter, settings.from, line, &converted, problem)) return false;
    line = converted;
  }
  if (settings.candidateLength > 0) {
    uint64_t before = batch->pairsAdded();
    bool handed = AddCandidatePairs(line, settings.candidateLength, &*batch);
    counted.pairsFed += batch->pairsAdded() - before;
    return handed && failed.empty();
  }
  Tokenize(line, settings.mode, &tokens);
  return CountTokens();
}

bool LineCounter::CountTokenLine(std::string_view line, std::string* problem) {
  ++counted.lines;
  *problem = CorpusLineProblem(line, false);
  if (!problem->empty()) return false;
  if (settings.candidateLength > 0) {
    *problem = "candidate words are found in raw text, not in lines of tokens";
    return false;
  }
  if (!tokenConverter) {
    tokenConverter.emplace();
    if (!tokenConverter->Open("UTF-8", kLibraryEncoding, problem)) return false;
  }
  if (!ConvertWhole(*tokenConverter, "UTF-8", line, &converted, problem)) return false;
  tokens.clear();
  std::string_view rest = WithoutByteOrderMark(converted);
  while (true) {
    size_t tab = rest.find('\t');
    // A tokenizer's blanks are no words, nor part of one: the CR of a CR LF
    // line end would make another word of the last token.
    std::string_view token = TrimBlanks(rest.substr(0, tab));
    if (!token.empty()) tokens.push_back(token);
    if (tab == std::string_view::npos) break;
    rest.remove_prefix(tab + 1);
  }
  return CountTokens();
}

bool LineCounter::CountTokens() {
  filter.Apply(&tokens);
  if (settings.perPairCommands) {
    for (std::string_view token : tokens)
      unigrams.Add(token);
    ForEachPair(tokens, settings.window, [&](std::string_view a, std::string_view b) {
      if (!failed.empty()) return;
      ++counted.libraryCalls;
      int32_t added = session.AddPair(a, b, 1, settings.oneWay);
      if (added != 0) {
        std::string status = "status " + std::to_string(added) + ": " + DescribeStatus(added);
        failed =
            SpillFailure(workDir, errno, "while counting " + origin + ": " + status,
                         "the library refused a pair while counting " + origin + " (" + status +
                             "; a spill file in " + workDir + " may not have been written)");
        return;
      }
      ++counted.pairsFed;
    });
    return failed.empty();
  }
  uint64_t before = batch->pairsAdded();
  bool handed = batch->AddLine(tokens, settings.window);
  counted.pairsFed += batch->pairsAdded() - before;
  return handed && failed.empty();
}

bool LineCounter::End(std::string* error) {
  if (!begun) return true;
  begun = false;
  if (failed.empty()) batch->Flush();
  errno = 0;
  int32_t status = session.End();
  int captured = errno;
  if (!failed.empty()) {
    *error = failed;
    return false;
  }
  if (status != 0) {
    std::string text = "status " + std::to_string(status) + ": " + DescribeStatus(status);
    *error = SpillFailure(workDir, captured, text,
                          "the counting run in " + workDir + " failed at its end (" + text + ")");
    return false;
  }
  // The spill files this run wrote (the directory held none before it):
  // sealed, and their lines counted from the same read, while they are
  // still in the page cache.
  for (const std::string& name : FileNames(workDir)) {
    if (!IsSpillFileName(name)) continue;
    ++counted.spillFiles;
    Seal(workDir + "/" + name, &counted.spillLines);
  }
  // Candidate words are no tokens: their counts would mean nothing.
  if (settings.candidateLength > 0) return true;
  unigrams.SetWindow(settings.window);
  return unigrams.Write(TokenCounts::PathFor(workDir), error);
}

const CountTally& LineCounter::tally() {
  counted.unrepresentable = (converter ? converter->unrepresentable() : 0) +
                            (tokenConverter ? tokenConverter->unrepresentable() : 0);
  counted.invalid = converter ? converter->invalid() : 0;
  counted.stopwordsDropped = filter.stopwordsDropped();
  counted.punctuationDropped = filter.punctuationDropped();
  counted.outsideGb2312Dropped = filter.outsideGb2312Dropped();
  return counted;
}

}  // namespace ulo::engine
