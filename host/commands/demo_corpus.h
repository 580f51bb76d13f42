// The demo's fallback corpus, for machines without the Tang poems.
#ifndef ULO_HOST_COMMANDS_DEMO_CORPUS_H_
#define ULO_HOST_COMMANDS_DEMO_CORPUS_H_

#include <string>

namespace ulo::host {

// The characters whose associations the demo shows (UTF-8): moon, mountain.
inline constexpr const char* kDemoWords[] = {"\xE6\x9C\x88", "\xE5\xB1\xB1"};

// Writes a deterministic UTF-8 corpus of short classical-style lines built
// from common two-character phrases, so the demo has real associations to
// find. False when the file cannot be written.
bool WriteSyntheticCorpus(const std::string& path);

}  // namespace ulo::host

#endif  // ULO_HOST_COMMANDS_DEMO_CORPUS_H_
