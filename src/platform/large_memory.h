// Large zero-filled tables, mapped at huge-page boundaries so that a system
// handing out huge pages to every process can back them with whole ones.
#ifndef ULO_PLATFORM_LARGE_MEMORY_H_
#define ULO_PLATFORM_LARGE_MEMORY_H_

#include <cstddef>

namespace ulo::platform {

// `bytes` of zero-filled memory, or null when it cannot be had. Small sizes
// come from the ordinary heap. With `touched`, for a table the caller will
// fill nearly whole, the system may put every page in place at once rather
// than one fault at a time. Blocks are backed by huge pages where the
// system has them to spare.
void* AllocateLargeZeroed(size_t bytes, bool touched = false);
// Releases what AllocateLargeZeroed gave for the same `bytes`; null is fine.
void FreeLarge(void* block, size_t bytes);

}  // namespace ulo::platform

#endif  // ULO_PLATFORM_LARGE_MEMORY_H_
