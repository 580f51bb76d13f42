// Conversion between the user's text encodings and GB2312, the library's.
#ifndef ULO_ENGINE_ENCODING_H_
#define ULO_ENGINE_ENCODING_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace ulo::engine {

// Converts text from one encoding to another with iconv. Characters that the
// target cannot represent are skipped and counted; bytes that are not valid
// in the source encoding are skipped and counted apart.
class Converter {
 public:
  Converter() = default;
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // False, with a sentence in `*error`, when iconv knows no such conversion.
  bool Open(const std::string& from, const std::string& to, std::string* error);

  // Appends the conversion of `in` to `*out`.
  void Convert(std::string_view in, std::string* out);

  uint64_t unrepresentable() const { return unrepresentableCount; }
  uint64_t invalid() const { return invalidCount; }

 private:
  // Source -> UTF-8 (when the source is not UTF-8) and UTF-8 -> target: in
  // UTF-8 the length of a character that cannot be converted is known, so it
  // can be skipped whole.
  void* toUtf8 = reinterpret_cast<void*>(-1);
  void* fromUtf8 = reinterpret_cast<void*>(-1);
  bool sourceIsUtf8 = false;
  bool targetIsUtf8 = false;
  std::string scratch;
  uint64_t unrepresentableCount = 0;
  uint64_t invalidCount = 0;
};

// Whether `name` spells UTF-8 ("UTF-8", "utf8", ...).
bool IsUtf8Name(std::string_view name);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_ENCODING_H_
