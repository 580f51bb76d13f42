// The loser tree of one merge group: which of the group's current records
// comes next in key order. It sees records only; where they come from and
// where the winners go is the merger's business.
//
// Entry 0 holds the winner, entries 1 to leaves - 1 the loser of the match
// played at that node. The parent of leaf s is node (s + leaves) / 2, the
// parent of node t is t / 2. An exhausted record loses to every record, the
// sentinel (the record after the leaves) beats every record while the tree
// is built, and on equal keys the record coming up from below goes on.
#ifndef ULO_MERGE_LOSER_TREE_H_
#define ULO_MERGE_LOSER_TREE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "merge/merge_record.h"

namespace ulo::merge {

class LoserTree {
 public:
  // `leaves` records (at least 2) and the sentinel.
  explicit LoserTree(int leaves);

  int leaves() const { return leafCount; }
  MergeRecord& record(int leaf) { return records[static_cast<size_t>(leaf)]; }

  // Empties every record, for a new group to load them.
  void Clear();
  // Plays every leaf's record once loaded; winner() is then the smallest.
  void Build();
  int winner() const { return tree[0]; }
  // After the winner's leaf took its input's next record: plays it up again.
  void Replay(int leaf);

 private:
  void Adjust(int leaf);

  int leafCount;
  std::vector<int> tree;             // record indices; entry 0 the winner
  std::vector<MergeRecord> records;  // the leaves' records and the sentinel
};

namespace detail {

// Of two records with equal prefixes, whether `c` (coming up the tree) loses
// to `s` (stored at the node). An exhausted record loses to every record; of
// two holding records the greater key loses and on equal keys `c` goes on.
inline bool LosesOnEqualPrefix(const MergeRecord& c, const MergeRecord& s) {
  if (c.state == MergeRecord::kExhausted) return true;
  if (s.state == MergeRecord::kExhausted) return false;
  return CompareRecordKeys(c, s) > 0;
}

}  // namespace detail

// Inline: it runs once for every record merged.
inline void LoserTree::Replay(int leaf) {
  // Adjust once no sentinel is left. The winner changes at nearly every
  // record of files that share few keys, so the common decision, on unequal
  // prefixes, takes no branch: an exhausted record's prefix is all ones and
  // loses that way to nearly every key. Equal prefixes, mostly equal keys,
  // go the full way.
  const MergeRecord* record = records.data();
  int* nodes = tree.data();
  int candidate = leaf;
  for (int node = (leaf + leafCount) / 2; node > 0; node /= 2) {
    int stored = nodes[node];
    const MergeRecord& c = record[candidate];
    const MergeRecord& s = record[stored];
    uint64_t c0 = c.prefix[0], s0 = s.prefix[0], c1 = c.prefix[1], s1 = s.prefix[1];
    bool loses = (c0 > s0) | ((c0 == s0) & (c1 > s1));
    if (__builtin_expect((c0 == s0) & (c1 == s1), 0)) loses = detail::LosesOnEqualPrefix(c, s);
    int mask = -static_cast<int>(loses);
    nodes[node] = stored ^ ((stored ^ candidate) & mask);
    candidate ^= (candidate ^ stored) & mask;
  }
  nodes[0] = candidate;
}

}  // namespace ulo::merge

#endif  // ULO_MERGE_LOSER_TREE_H_
