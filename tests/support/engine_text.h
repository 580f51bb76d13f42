// The engine's C objects in tests: an error slot released at the end, a
// returned string taken into a std::string, options set by name.
#ifndef ULO_TESTS_SUPPORT_ENGINE_TEXT_H_
#define ULO_TESTS_SUPPORT_ENGINE_TEXT_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

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

// An engine object released with its *_destroy.
template <typename Object>
using Owned = std::unique_ptr<Object, void (*)(Object*)>;
using Settings = std::vector<std::pair<const char*, const char*>>;

// Options set from name/value pairs; a refused one fails the test.
template <typename Options>
Owned<Options> SetOptions(Options* (*create)(), void (*destroy)(Options*),
                          void (*set)(Options*, const char*, const char*, char**),
                          const Settings& settings) {
  Owned<Options> options(create(), destroy);
  for (auto [name, value] : settings) {
    Error error;
    set(options.get(), name, value, &error.text);
    EXPECT_EQ(error.str(), "") << name;
  }
  return options;
}
inline Owned<ulo_count_options_t> CountOptions(const Settings& settings = {}) {
  return SetOptions(ulo_count_options_create, ulo_count_options_destroy, ulo_count_options_set,
                    settings);
}
inline Owned<ulo_rank_options_t> RankOptions(const Settings& settings = {}) {
  return SetOptions(ulo_rank_options_create, ulo_rank_options_destroy, ulo_rank_options_set,
                    settings);
}

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_ENGINE_TEXT_H_
