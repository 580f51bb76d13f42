// The pair table's keys: two word numbers in one 64-bit value, never 0.
#ifndef ULO_PAIRSTAT_PAIR_KEYS_H_
#define ULO_PAIRSTAT_PAIR_KEYS_H_

#include <cstdint>

namespace ulo::pairstat {

inline uint64_t PairKey(uint32_t first, uint32_t second) {
  return (uint64_t{first} + 1) << 32 | (uint64_t{second} + 1);
}

inline uint32_t FirstOf(uint64_t key) {
  return static_cast<uint32_t>(key >> 32) - 1;
}
inline uint32_t SecondOf(uint64_t key) {
  return static_cast<uint32_t>(key) - 1;
}

}  // namespace ulo::pairstat

#endif  // ULO_PAIRSTAT_PAIR_KEYS_H_
