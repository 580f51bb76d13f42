// The checks the engine makes on a file before the library reads it, and the
// ranking's reader of pair-count files, on any bytes: each must answer with
// a sentence or a result, never crash, and a file the checks pass as a
// pair-count file must rank.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine_fake_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  std::string path = ScratchDir() + "/input.txt";
  std::string out = ScratchDir() + "/ranked.txt";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  ulo_free(ulo_input_problem(path.c_str(), "corpus"));
  char* problem = ulo_input_problem(path.c_str(), "pairs");
  if (problem == nullptr) {
    ulo_rank_options_t* options = ulo_rank_options_create();
    char* error = nullptr;
    ulo_rank_options_set(options, "top", size > 0 && data[0] & 1 ? "1" : "3", &error);
    ulo_rank(path.c_str(), out.c_str(), options, &error);
    ulo_free(error);
    ulo_rank_options_destroy(options);
  }
  ulo_free(problem);
  return 0;
}
