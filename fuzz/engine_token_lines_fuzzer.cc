// The engine's counter fed lines of tokens, as a tokenizer outside the engine
// cuts them: any bytes as UTF-8, TAB-separated, LF-ended, in calls of any
// size. It must refuse what is no UTF-8 and hand the library only words a
// pair-count file can hold.
#include <cstddef>
#include <cstdint>

#include "engine_fake_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  if (size < 3) return 0;
  ulo_count_options_t* options = OptionsFrom(data, "");
  size_t cut = 1 + data[2] % 128;  // bytes per call, cut at the next line end
  data += 3;
  size -= 3;
  const char* text = reinterpret_cast<const char*>(data);
  CountWith(options, [&](ulo_counter_t* counter, char** error) {
    size_t at = 0;
    while (at < size && *error == nullptr) {
      size_t end = at + cut < size ? at + cut : size;
      while (end < size && text[end - 1] != '\n')
        ++end;
      ulo_counter_add_token_lines(counter, text + at, end - at, error);
      at = end;
    }
    ulo_counter_close(counter, error);
  });
  ulo_count_options_destroy(options);
  return 0;
}
