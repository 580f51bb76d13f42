// Large zero-filled tables, mapped at huge-page boundaries so that a system
// handing out huge pages to every process can back them with whole ones.
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
