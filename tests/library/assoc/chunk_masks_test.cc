#include "assoc/chunk_masks.h"

#include <gtest/gtest.h>

#include <random>

namespace ulo::assoc {
namespace {

ChunkMasks ByteByByte(const char* p) {
  ChunkMasks masks{0, 0, 0};
  for (int i = 0; i < 64; ++i) {
    masks.tabs |= uint64_t{p[i] == '\t'} << i;
    masks.lfs |= uint64_t{p[i] == '\n'} << i;
    masks.crs |= uint64_t{p[i] == '\r'} << i;
  }
  return masks;
}

void ExpectSame(const ChunkMasks& actual, const ChunkMasks& expected, int round) {
  EXPECT_EQ(actual.tabs, expected.tabs) << "round " << round;
  EXPECT_EQ(actual.lfs, expected.lfs) << "round " << round;
  EXPECT_EQ(actual.crs, expected.crs) << "round " << round;
}

TEST(ChunkMasksTest, EveryWayMarksTheSameBytes) {
  // Bytes next to the wanted ones (LF and CR are 10 and 13, TAB 9), high
  // bytes whose sign a vector comparison must not mind, at every position of
  // unaligned chunks.
  const char kBytes[] = {'\t', '\n', '\r', '\x0B', '\x08', '\0', 'a', '\x89', '\x8A', '\xFF'};
  std::mt19937 random(17);
  alignas(64) char buffer[64 * 3];
  for (int round = 0; round < 2000; ++round) {
    for (char& c : buffer)
      c = kBytes[random() % sizeof kBytes];
    const char* chunk = buffer + random() % 128;
    const ChunkMasks expected = ByteByByte(chunk);
    ExpectSame(BaselineMasks::At(chunk), expected, round);
#if ULO_CHUNK_MASKS_AVX2
    if (HasAvx2()) ExpectSame(Avx2Masks::At(chunk), expected, round);
#endif
  }
}

}  // namespace
}  // namespace ulo::assoc
