#include "platform/large_memory.h"

#include <cstdint>
#include <cstdlib>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace ulo::platform {
namespace {

// Below this the ordinary heap serves (and memory checkers see the block).
constexpr size_t kLargeBlock = size_t{2} << 20;

#if !defined(_WIN32)
constexpr size_t kHugePage = size_t{2} << 20;

[[maybe_unused]] size_t RoundUp(size_t bytes, size_t unit) {
  return (bytes + unit - 1) / unit * unit;
}
#endif

}  // namespace

void* AllocateLargeZeroed(size_t bytes, [[maybe_unused]] bool touched) {
  if (bytes < kLargeBlock) return std::calloc(bytes == 0 ? 1 : bytes, 1);
#if defined(_WIN32)
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
  // Mapped with room to spare, then trimmed to a huge-page boundary.
  size_t size = RoundUp(bytes, kHugePage);
  void* mapped =
      mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  uintptr_t aligned = RoundUp(start, kHugePage);
  if (aligned > start) munmap(mapped, aligned - start);
  size_t tail = start + size + kHugePage - (aligned + size);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
#if defined(MADV_POPULATE_WRITE)
  // Faulting in a 128 MB table page by page cost a counting run about 2% of
  // its time against putting its pages in place at once, a little more with
  // two runs at once. Only the block kept is filled; a kernel without the
  // advice leaves the pages to their faults.
  if (touched) madvise(reinterpret_cast<void*>(aligned), size, MADV_POPULATE_WRITE);
#endif
  // No MADV_HUGEPAGE: where the system compacts and zeroes huge pages only
  // for regions that ask (defrag "madvise"), each first touch of a table
  // stalled the caller for whole huge pages; measured on a 2-core VM, a
  // counting run of 10 M pairs spent 2 s of system time against 0.3 s
  // without the hint, for a tenth of a second of page-table misses saved.
  // Aligned blocks still get huge pages where the system gives them to all.
  return reinterpret_cast<void*>(aligned);
#endif
}

void FreeLarge(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (bytes < kLargeBlock) {
    std::free(block);
    return;
  }
#if defined(_WIN32)
  VirtualFree(block, 0, MEM_RELEASE);
#else
  munmap(block, RoundUp(bytes, kHugePage));
#endif
}

}  // namespace ulo::platform
