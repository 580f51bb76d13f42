// Large zero-filled tables, on huge pages where the system offers them: a
// hash table probed at random spends much of its time on page-table misses
// and first-touch page faults, and huge pages cut both.
#ifndef ULO_PLATFORM_LARGE_MEMORY_H_
#define ULO_PLATFORM_LARGE_MEMORY_H_

#include <cstddef>

namespace ulo::platform {

// `bytes` of zero-filled memory, or null when it cannot be had. Small sizes
// come from the ordinary heap.
void* AllocateLargeZeroed(size_t bytes);
// Releases what AllocateLargeZeroed gave for the same `bytes`; null is fine.
void FreeLarge(void* block, size_t bytes);

}  // namespace ulo::platform

#endif  // ULO_PLATFORM_LARGE_MEMORY_H_
