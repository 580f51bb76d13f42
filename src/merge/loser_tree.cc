#include "merge/loser_tree.h"

namespace ulo::merge {

LoserTree::LoserTree(int leaves)
    : leafCount(leaves < 2 ? 2 : leaves),
      tree(static_cast<size_t>(leafCount), 0),
      records(static_cast<size_t>(leafCount) + 1) {}

void LoserTree::Clear() {
  for (int& entry : tree)
    entry = 0;
  for (MergeRecord& record : records) {
    record.key = nullptr;
    record.keyLength = record.word1Length = record.lineLength = 0;
    record.count = 0;
    record.state = MergeRecord::kHolding;
  }
}

void LoserTree::Build() {
  records[static_cast<size_t>(leafCount)].state = MergeRecord::kSentinel;
  for (int& entry : tree)
    entry = leafCount;
  for (int leaf = leafCount - 1; leaf >= 0; --leaf)
    Adjust(leaf);
}

void LoserTree::Adjust(int leaf) {
  int candidate = leaf;
  for (int node = (leaf + leafCount) / 2; node > 0; node /= 2) {
    int stored = tree[static_cast<size_t>(node)];
    const MergeRecord& c = records[static_cast<size_t>(candidate)];
    const MergeRecord& s = records[static_cast<size_t>(stored)];
    bool candidateLoses = c.state == MergeRecord::kExhausted || s.state == MergeRecord::kSentinel ||
                          (s.state != MergeRecord::kExhausted &&
                           c.state != MergeRecord::kSentinel && CompareRecordKeys(c, s) > 0);
    if (candidateLoses) {
      tree[static_cast<size_t>(node)] = candidate;
      candidate = stored;
    }
  }
  tree[0] = candidate;
}

}  // namespace ulo::merge
