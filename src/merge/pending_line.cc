#include "merge/pending_line.h"

#include <cstring>
#include <string_view>

#include "text/pair_line.h"

namespace ulo::merge {
namespace {

// Room reserved for a pending line: its key, a TAB, a count of up to 20
// characters and the LF, and slack for copies in fixed moves of 32 bytes.
constexpr size_t kLineSlack = 1 + 20 + 1 + 32;

}  // namespace

void PendingLine::Offer(const MergeRecord& record) {
  size_t length = record.keyLength;
  if (pending && record.prefix[0] == prefix[0] && record.prefix[1] == prefix[1] &&
      length == keyLength &&
      (length <= kPrefixBytes ||
       std::memcmp(record.key + kPrefixBytes, start + kPrefixBytes, length - kPrefixBytes) == 0)) {
    count = AddCounts(count, record.count);
    verbatim = 0;  // a sum is written anew
    return;
  }
  Flush();
  char* room = output ? output->Reserve(length + kLineSlack) : nullptr;
  if (room != nullptr) {
    // A verbatim line lies in its reader's buffer, readable 32 bytes on.
    if (record.lineLength != 0 && record.lineLength <= 32) {
      std::memcpy(room, record.key, 32);
    } else {
      std::memcpy(room, record.key, record.lineLength != 0 ? record.lineLength : length);
    }
    start = room;
    inOutput = true;
  } else {
    // Text mode with CR LF, a failed output, or a key beyond the buffer.
    key.assign(record.key, length);
    start = key.data();
    inOutput = false;
  }
  pending = true;
  prefix[0] = record.prefix[0];
  prefix[1] = record.prefix[1];
  keyLength = length;
  word1Length = record.word1Length;
  count = record.count;
  verbatim = record.lineLength;
}

void PendingLine::Flush() {
  if (!pending) return;
  pending = false;
  if (inOutput) {
    if (verbatim != 0) {
      output->Commit(verbatim);
      return;
    }
    char* next = start + keyLength;
    *next++ = '\t';
    next = text::FormatDecimal(count, next);
    *next++ = '\n';
    output->Commit(static_cast<size_t>(next - start));
    return;
  }
  if (output) {
    std::string_view line(key);
    text::WritePairLine(*output, line.substr(0, word1Length), line.substr(word1Length + 1), count);
  }
}

}  // namespace ulo::merge
