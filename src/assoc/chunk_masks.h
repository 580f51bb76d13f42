// Bit masks of the bytes that structure pair-count lines (TAB, LF, CR) in 64
// bytes of text: bit i stands for byte i. Two ways of making them: one for
// every processor, and one for processors with AVX2, for callers that check
// HasAvx2() first.
#ifndef ULO_ASSOC_CHUNK_MASKS_H_
#define ULO_ASSOC_CHUNK_MASKS_H_

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// GCC and Clang build the AVX2 way for x86 processors of any kind, to be
// chosen at run time.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define ULO_CHUNK_MASKS_AVX2 1
#include <immintrin.h>
#else
#define ULO_CHUNK_MASKS_AVX2 0
#endif

namespace ulo::assoc {

struct ChunkMasks {
  uint64_t tabs, lfs, crs;
};

struct BaselineMasks {
  static ChunkMasks At(const char* p) {
    ChunkMasks masks{0, 0, 0};
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      const int shift = 16 * k;
      masks.tabs |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, tab)))}
                    << shift;
      masks.lfs |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))}
                   << shift;
      masks.crs |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))}
                   << shift;
    }
#else
    for (int i = 0; i < 64; ++i) {
      masks.tabs |= uint64_t{p[i] == '\t'} << i;
      masks.lfs |= uint64_t{p[i] == '\n'} << i;
      masks.crs |= uint64_t{p[i] == '\r'} << i;
    }
#endif
    return masks;
  }
};

#if ULO_CHUNK_MASKS_AVX2
struct Avx2Masks {
  __attribute__((target("avx2"))) static ChunkMasks At(const char* p) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    ChunkMasks masks;
    masks.tabs = Bits(low, high, '\t');
    masks.lfs = Bits(low, high, '\n');
    masks.crs = Bits(low, high, '\r');
    return masks;
  }

 private:
  __attribute__((target("avx2"))) static uint64_t Bits(__m256i low, __m256i high, char c) {
    const __m256i wanted = _mm256_set1_epi8(c);
    return uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)))} |
           uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)))}
               << 32;
  }
};

inline bool HasAvx2() {
  return __builtin_cpu_supports("avx2");
}
#else
inline bool HasAvx2() {
  return false;
}
#endif

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_CHUNK_MASKS_H_
