// The merge of one group: a loser tree over the inputs' current records, and
// the pending line that sums the records of one key.
//
// The pending line is built where it will be written, in the output's
// buffer: its key is copied there once, and a line that no other record
// joins goes out as its input had it, unformatted. The inputs are then free
// to move on whatever becomes of their buffers.
#include "merge/file_merger.h"
#include "text/pair_line.h"

namespace ulo::merge {
namespace {

// Room reserved for a pending line: its key, a TAB, a count of up to 20
// characters and the LF, and slack for copies in fixed moves of 32 bytes.
constexpr size_t kLineSlack = 1 + 20 + 1 + 32;

// Of two records with equal prefixes, whether `c` (coming up the tree) loses
// to `s` (stored at the node). An exhausted record loses to every record; of
// two holding records the greater key loses and on equal keys `c` goes on.
bool LosesOnEqualPrefix(const MergeRecord& c, const MergeRecord& s) {
  if (c.state == MergeRecord::kExhausted) return true;
  if (s.state == MergeRecord::kExhausted) return false;
  return CompareRecordKeys(c, s) > 0;
}

}  // namespace

void FileMerger::RunLoserTree() {
  PrepareTables();
  for (int& entry : loserTree)
    entry = 0;
  for (MergeRecord& record : records) {
    record.key = nullptr;
    record.keyLength = record.word1Length = record.lineLength = 0;
    record.count = 0;
    record.state = MergeRecord::kHolding;
  }
  hasPending = false;
  for (int i = 0; i < fanInValue; ++i)
    ReadNextRecord(i);
  BuildLoserTree();
  for (;;) {
    int winner = loserTree[0];
    if (records[static_cast<size_t>(winner)].state == MergeRecord::kExhausted) break;
    EmitRecord(winner);
    ReadNextRecord(winner);
    ReplayWinner(winner);
  }
  FlushPending();  // the next group starts with nothing pending
}

void FileMerger::BuildLoserTree() {
  records[static_cast<size_t>(fanInValue)].state = MergeRecord::kSentinel;
  for (int& entry : loserTree)
    entry = fanInValue;
  for (int leaf = fanInValue - 1; leaf >= 0; --leaf)
    AdjustLoserTree(leaf);
}

void FileMerger::AdjustLoserTree(int leaf) {
  int candidate = leaf;
  for (int node = (leaf + fanInValue) / 2; node > 0; node /= 2) {
    int stored = loserTree[static_cast<size_t>(node)];
    const MergeRecord& c = records[static_cast<size_t>(candidate)];
    const MergeRecord& s = records[static_cast<size_t>(stored)];
    // An exhausted record loses to every record and the sentinel beats every
    // record; of two holding records the smaller key goes on up, and on
    // equal keys the candidate does.
    bool candidateLoses = c.state == MergeRecord::kExhausted || s.state == MergeRecord::kSentinel ||
                          (s.state != MergeRecord::kExhausted &&
                           c.state != MergeRecord::kSentinel && CompareRecordKeys(c, s) > 0);
    if (candidateLoses) {
      loserTree[static_cast<size_t>(node)] = candidate;
      candidate = stored;
    }
  }
  loserTree[0] = candidate;
}

void FileMerger::ReplayWinner(int leaf) {
  // AdjustLoserTree once no sentinel is left. The winner changes at nearly
  // every record of files that share few keys, so the common decision, on
  // unequal prefixes, takes no branch: an exhausted record's prefix is all
  // ones and loses that way to nearly every key. Equal prefixes, mostly
  // equal keys, go the full way.
  const MergeRecord* record = records.data();
  int* tree = loserTree.data();
  int candidate = leaf;
  for (int node = (leaf + fanInValue) / 2; node > 0; node /= 2) {
    int stored = tree[node];
    const MergeRecord& c = record[candidate];
    const MergeRecord& s = record[stored];
    uint64_t c0 = c.prefix[0], s0 = s.prefix[0], c1 = c.prefix[1], s1 = s.prefix[1];
    bool loses = (c0 > s0) | ((c0 == s0) & (c1 > s1));
    if (__builtin_expect((c0 == s0) & (c1 == s1), 0)) loses = LosesOnEqualPrefix(c, s);
    int mask = -static_cast<int>(loses);
    tree[node] = stored ^ ((stored ^ candidate) & mask);
    candidate ^= (candidate ^ stored) & mask;
  }
  tree[0] = candidate;
}

void FileMerger::ReadNextRecord(int input) {
  MergeRecord& record = records[static_cast<size_t>(input)];
  RecordReader* reader = inputs[static_cast<size_t>(input)].get();
  if (reader == nullptr) {
    MarkExhausted(&record);
    return;
  }
  RecordReader::Status status = reader->Next(&record);
  if (status == RecordReader::Status::kRecord) return;
  if (status == RecordReader::Status::kError && failedInput < 0) failedInput = input;
  MarkExhausted(&record);
}

void FileMerger::EmitRecord(int index) {
  const MergeRecord& record = records[static_cast<size_t>(index)];
  size_t length = record.keyLength;
  if (hasPending && record.prefix[0] == pendingPrefix[0] && record.prefix[1] == pendingPrefix[1] &&
      length == pendingKeyLength &&
      (length <= kPrefixBytes || std::memcmp(record.key + kPrefixBytes, pendingText + kPrefixBytes,
                                             length - kPrefixBytes) == 0)) {
    pendingCount = AddCounts(pendingCount, record.count);
    pendingVerbatim = 0;  // a sum is written anew
    return;
  }
  FlushPending();
  char* room = output ? output->Reserve(length + kLineSlack) : nullptr;
  if (room != nullptr) {
    // A verbatim line lies in its reader's buffer, readable 32 bytes on.
    if (record.lineLength != 0 && record.lineLength <= 32) {
      std::memcpy(room, record.key, 32);
    } else {
      std::memcpy(room, record.key, record.lineLength != 0 ? record.lineLength : length);
    }
    pendingText = room;
    pendingInOutput = true;
  } else {
    // Text mode with CR LF, a failed output, or a key beyond the buffer.
    pendingKey.assign(record.key, length);
    pendingText = pendingKey.data();
    pendingInOutput = false;
  }
  hasPending = true;
  pendingPrefix[0] = record.prefix[0];
  pendingPrefix[1] = record.prefix[1];
  pendingKeyLength = length;
  pendingWord1Length = record.word1Length;
  pendingCount = record.count;
  pendingVerbatim = record.lineLength;
}

void FileMerger::FlushPending() {
  if (!hasPending) return;
  hasPending = false;
  if (pendingInOutput) {
    if (pendingVerbatim != 0) {
      output->Commit(pendingVerbatim);
      return;
    }
    char* next = pendingText + pendingKeyLength;
    *next++ = '\t';
    next = text::FormatDecimal(pendingCount, next);
    *next++ = '\n';
    output->Commit(static_cast<size_t>(next - pendingText));
    return;
  }
  if (output) {
    std::string_view key(pendingKey);
    text::WritePairLine(*output, key.substr(0, pendingWord1Length),
                        key.substr(pendingWord1Length + 1), pendingCount);
  }
}

}  // namespace ulo::merge
