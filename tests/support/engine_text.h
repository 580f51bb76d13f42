// The engine's malloc'ed strings in tests: an error slot released at the
// end, and a returned string taken into a std::string.
#ifndef ULO_TESTS_SUPPORT_ENGINE_TEXT_H_
#define ULO_TESTS_SUPPORT_ENGINE_TEXT_H_

#include <string>

#include "engine/include/ulo_engine.h"

namespace ulo::testing {

// An error slot as the header describes it, released at the end.
struct Error {
  char* text = nullptr;
  ~Error() { ulo_free(text); }
  std::string str() const { return text == nullptr ? "" : text; }
};

inline std::string Take(char* text) {
  std::string copy = text == nullptr ? "" : text;
  ulo_free(text);
  return copy;
}

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_ENGINE_TEXT_H_
