// One fast hash of bytes for the engine's word tables and seals: XXH3 (Debian
// libxxhash-dev), compiled in, so that no library is needed at run time.
#ifndef ULO_ENGINE_TEXT_HASH_H_
#define ULO_ENGINE_TEXT_HASH_H_

#include <cstdint>
#include <string_view>

#ifndef XXH_INLINE_ALL
#define XXH_INLINE_ALL
#endif
#include <xxhash.h>

namespace ulo::engine {

inline uint64_t HashBytes(std::string_view bytes) {
  return XXH3_64bits(bytes.data(), bytes.size());
}

// HashBytes of bytes that come piece by piece.
class HashStream {
 public:
  HashStream() { XXH3_64bits_reset(&state); }
  void Add(std::string_view bytes) { XXH3_64bits_update(&state, bytes.data(), bytes.size()); }
  uint64_t Value() const { return XXH3_64bits_digest(&state); }

 private:
  XXH3_state_t state;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_TEXT_HASH_H_
