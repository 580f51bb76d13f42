// The line being summed while a group is merged: the key of the records that
// came out of the loser tree last and the total of their counts. A record
// with another key writes it out and takes its place.
//
// The line is built where it will be written, in the output's buffer: its
// key is copied there once, and a line that no other record joins goes out
// as its input had it, unformatted. The inputs are then free to move on
// whatever becomes of their buffers.
#ifndef ULO_MERGE_PENDING_LINE_H_
#define ULO_MERGE_PENDING_LINE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "merge/merge_record.h"
#include "text/text_writer.h"

namespace ulo::merge {

class PendingLine {
 public:
  // Writes to `output`, which may be null (nothing is then written).
  explicit PendingLine(text::TextWriter* output) : output(output) {}
  PendingLine(const PendingLine&) = delete;
  PendingLine& operator=(const PendingLine&) = delete;

  // Adds the record's count when it has the pending key; otherwise writes
  // the pending line and makes the record pending.
  void Offer(const MergeRecord& record);
  // Writes the pending line, if any, and leaves nothing pending.
  void Flush();

 private:
  text::TextWriter* const output;
  bool pending = false;
  bool inOutput = false;  // the text lies in the output's reserved room
  char* start = nullptr;  // the line's first byte
  std::string key;        // the text when the output has no room for it
  uint64_t prefix[2] = {0, 0};
  size_t keyLength = 0;
  size_t word1Length = 0;
  size_t verbatim = 0;  // the line's length while it can be copied as read
  int64_t count = 0;
};

}  // namespace ulo::merge

#endif  // ULO_MERGE_PENDING_LINE_H_
