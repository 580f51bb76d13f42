// The new-word search's calls of the C API: its options, its counter (a
// counter of the C API's own kind) and its ranking.
#include <new>
#include <string>

#include "engine/capi/handles.h"
#include "engine/count/options.h"
#include "engine/words/new_words.h"

using namespace ulo::engine;
using ulo::engine::capi::Copy;
using ulo::engine::capi::Fail;

extern "C" {

ulo_words_options_t* ulo_words_options_create(void) {
  return new (std::nothrow) ulo_words_options_t;
}

void ulo_words_options_destroy(ulo_words_options_t* options) {
  delete options;
}

void ulo_words_options_set(ulo_words_options_t* options, const char* name, const char* value,
                           char** errptr) {
  if (options == nullptr || name == nullptr || value == nullptr) {
    Fail(errptr, "setting a word option needs the options, a name and a value");
    return;
  }
  std::string error;
  if (!SetWordOption(&options->options, name, value, &error)) Fail(errptr, error);
}

char* ulo_words_options_describe(void) {
  return Copy(DescribeOptions(WordOptionTable()));
}

ulo_counter_t* ulo_words_counter_open(const ulo_exports_t* exports,
                                      const ulo_count_options_t* count,
                                      const ulo_words_options_t* words, const char* work_dir,
                                      char** errptr) {
  if (count == nullptr || words == nullptr) {
    Fail(errptr, "the counter of candidates needs the count and the word options");
    return nullptr;
  }
  ulo_count_options_t candidates = *count;
  PrepareCandidateCount(&candidates.settings, words->options.maxLength);
  return ulo_counter_open(exports, &candidates, work_dir, errptr);
}

void ulo_words_rank(const char* pairs, const char* out, const ulo_words_options_t* options,
                    char** errptr) {
  if (pairs == nullptr || out == nullptr) {
    Fail(errptr, "ranking new words needs the pair-count file and an output");
    return;
  }
  WordOptions defaults;
  Fail(errptr, WriteNewWords(pairs, out, options != nullptr ? options->options : defaults, false));
}

}  // extern "C"
