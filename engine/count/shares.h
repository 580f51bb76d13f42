// Dealing corpora out to counting workers: the bytes of all corpora, taken
// one after another, are cut into shares of about equal size, each cut at a
// line end, so that every line is read by exactly one worker.
#ifndef ULO_ENGINE_CORPUS_SHARES_H_
#define ULO_ENGINE_CORPUS_SHARES_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace ulo::engine {

// The lines of one corpus from byte `begin` (a line start) up to `end` (a
// line start or the end of the file). A corpus that is not a regular file (a
// pipe, a terminal) cannot be cut or measured: it is read whole.
struct Segment {
  size_t corpus = 0;  // index into the list of corpora
  uint64_t begin = 0;
  uint64_t end = 0;
  bool whole = false;
};

using Share = std::vector<Segment>;

// Cuts `corpora` into at most `parts` non-empty shares in corpus order. False
// with a sentence in `*error` when a corpus cannot be opened or measured.
bool ShareCorpora(const std::vector<std::string>& corpora, int parts, std::vector<Share>* shares,
                  std::string* error);

// Reads the lines of one segment, each with its line end where it has one.
class SegmentReader {
 public:
  SegmentReader() = default;
  ~SegmentReader();
  SegmentReader(const SegmentReader&) = delete;
  SegmentReader& operator=(const SegmentReader&) = delete;

  // False with errno set when the corpus cannot be opened or positioned.
  bool Open(const std::string& path, const Segment& segment);
  // The next line, or false at the end of the segment or on a read error.
  bool Next(std::string_view* line);
  bool failed() const;
  // The bytes of the segment the file no longer held when Next ended: a
  // corpus cut while it was counted. Zero for a stream, read to its end.
  uint64_t missing() const { return whole ? 0 : left; }
  // Once Next has ended: why the segment of `path` was not read whole, or
  // empty when it was.
  std::string Problem(const std::string& path) const;

 private:
  FILE* file = nullptr;
  char* buffer = nullptr;
  size_t capacity = 0;
  uint64_t left = 0;
  bool whole = false;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_CORPUS_SHARES_H_
