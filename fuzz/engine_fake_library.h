// A stand-in for the library behind the engine's C API: its extension object
// answers every command with success and its pair export checks what a
// pair-count file needs of each word (not empty, no TAB, LF or NUL), so that
// the engine's readers can be fuzzed without the library's spill files.
#ifndef ULO_FUZZ_ENGINE_FAKE_LIBRARY_H_
#define ULO_FUZZ_ENGINE_FAKE_LIBRARY_H_

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/include/ulo_engine.h"
#include "vorn_ulo.h"

namespace ulo::fuzz {

struct FakeModule : ExtensionModule {
  void ULO_METHOD Release() override {}
  void ULO_METHOD ReservedA() override {}
  int32_t ULO_METHOD Execute(const void*, int32_t, const int32_t*, int32_t) override { return 0; }
  ULO_BOOL ULO_METHOD ReservedB() override { return 1; }
  void ULO_METHOD ReservedC(int32_t) override {}
  ULO_BOOL ULO_METHOD ReservedD(int32_t) override { return 1; }
  void ULO_METHOD ReservedE(int32_t) override {}
  void ULO_METHOD SetHostValue(int32_t) override {}
};

inline void CheckWord(const char* word) {
  if (word == nullptr || *word == '\0' || std::strpbrk(word, "\t\n") != nullptr) std::abort();
}

inline ULO_BOOL ULO_CALL FakeAddPair(const char* word1, const char* word2, int32_t count, int32_t) {
  CheckWord(word1);
  CheckWord(word2);
  if (count < 1) std::abort();
  return 1;
}
inline ULO_BOOL ULO_CALL FakeBegin(const char*) {
  return 1;
}
inline int32_t ULO_CALL FakeEnd() {
  return 1;
}
inline ULO_BOOL ULO_CALL FakeFile(const char*, const char*) {
  return 1;
}
inline ULO_BOOL ULO_CALL FakeFileN(const char*, const char*, int32_t) {
  return 1;
}
inline int32_t ULO_CALL FakeMerge(const char*, const char*) {
  return 0;
}
inline int32_t ULO_CALL FakeCreate(int32_t, ExtensionModule** module) {
  static FakeModule instance;
  *module = &instance;
  return 0;
}

// The fake's exports, as a host hands them over.
inline ulo_exports_t* FakeExports() {
  static ulo_exports_t* exports = [] {
    ulo_exports_t* made = ulo_exports_create();
    const std::pair<const char*, void*> all[] = {
        {"ULO_Filtrate", reinterpret_cast<void*>(&FakeFileN)},
        {"ULO_GetTopNWordSupportRec", reinterpret_cast<void*>(&FakeFileN)},
        {"ULO_GetWordSupportRec", reinterpret_cast<void*>(&FakeFile)},
        {"ULO_MulMergeFile", reinterpret_cast<void*>(&FakeMerge)},
        {"ULO_Stat_AssociatedFreq", reinterpret_cast<void*>(&FakeAddPair)},
        {"ULO_Stat_AssociatedFreq_Begin", reinterpret_cast<void*>(&FakeBegin)},
        {"ULO_Stat_AssociatedFreq_End", reinterpret_cast<void*>(&FakeEnd)},
        {"VornModule_CreateInstance", reinterpret_cast<void*>(&FakeCreate)},
    };
    for (auto [name, address] : all) {
      char* error = nullptr;
      ulo_exports_set(made, name, address, &error);
      if (error != nullptr) std::abort();
    }
    return made;
  }();
  return exports;
}

// A scratch directory for the whole run.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/ulo-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return dir;
}

// Counts through `feed` with options set from the fuzzer's first bytes.
template <typename Feed>
void CountWith(ulo_count_options_t* options, Feed feed) {
  char* error = nullptr;
  ulo_counter_t* counter = ulo_counter_open(FakeExports(), options, ScratchDir().c_str(), &error);
  if (counter == nullptr) std::abort();  // the fake accepts every run
  feed(counter, &error);
  ulo_free(error);
  error = nullptr;
  ulo_free(ulo_counter_summary(counter));
  ulo_counter_destroy(counter);
}

// Sets the count options from one byte each: window, tokenizer, filters.
inline ulo_count_options_t* OptionsFrom(const uint8_t* data, const char* encoding) {
  ulo_count_options_t* options = ulo_count_options_create();
  char* error = nullptr;
  std::string window = std::to_string(1 + data[0] % 8);
  ulo_count_options_set(options, "window", window.c_str(), &error);
  ulo_count_options_set(options, "one_way", data[1] & 1 ? "true" : "false", &error);
  ulo_count_options_set(options, "tokenizer", data[1] & 2 ? "chars" : "whitespace", &error);
  ulo_count_options_set(options, "stopwords", data[1] & 4 ? "none" : "default", &error);
  ulo_count_options_set(options, "drop_punctuation", data[1] & 8 ? "false" : "true", &error);
  ulo_count_options_set(options, "per_pair_commands", data[1] & 16 ? "true" : "false", &error);
  ulo_count_options_set(options, "source_encoding", encoding, &error);
  if (error != nullptr) std::abort();  // every value above is one the table takes
  return options;
}

}  // namespace ulo::fuzz

#endif  // ULO_FUZZ_ENGINE_FAKE_LIBRARY_H_
