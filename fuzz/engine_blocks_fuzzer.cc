// The engine's counter fed raw corpus bytes in blocks: any bytes, in any of
// a few source encodings, cut anywhere, under any options. It must refuse
// what it cannot count and hand the library only words a pair-count file
// can hold.
#include <cstddef>
#include <cstdint>

#include "engine_fake_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  if (size < 4) return 0;
  // Only encodings whose line end is the byte LF: the table refuses others.
  static const char* const kEncodings[] = {"",       "UTF-8", "GB18030",   "GBK",        "UTF-7",
                                           "EUC-KR", "BIG5",  "SHIFT_JIS", "ISO-8859-1", "EUC-JP"};
  const char* encoding = kEncodings[data[2] % (sizeof kEncodings / sizeof *kEncodings)];
  ulo_count_options_t* options = OptionsFrom(data, encoding);
  size_t cut = 1 + data[3] % 64;  // block size
  data += 4;
  size -= 4;
  CountWith(options, [&](ulo_counter_t* counter, char** error) {
    for (size_t at = 0; at < size && *error == nullptr; at += cut) {
      size_t length = size - at < cut ? size - at : cut;
      ulo_counter_add_block(counter, "fuzz", reinterpret_cast<const char*>(data) + at, length,
                            error);
    }
    ulo_counter_end_text(counter, error);
    ulo_counter_close(counter, error);
  });
  ulo_count_options_destroy(options);
  return 0;
}
