// The characters of library text and what Unicode says they are.
//
// The library's files hold GB18030: every Unicode character in one, two or
// four bytes, GB2312's bytes unchanged, and no TAB or LF inside a character.
// iconv maps the bytes to code points and ICU gives their categories, so
// that tokens and filters follow Unicode rather than rows of GB2312.
#ifndef ULO_ENGINE_CHARACTERS_H_
#define ULO_ENGINE_CHARACTERS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ulo::engine {

// What a character is, as bits: a character may be several (the
// ideographic zero is an ideograph and a number).
enum CharacterTraits : uint8_t {
  kLetter = 1,     // a letter (L*) or an ideograph
  kSymbol = 2,     // punctuation, a symbol or a number (P*, S*, N*)
  kJoiner = 4,     // a mark or format character (M*, Cf) that joins or varies another
  kSpace = 8,      // white space
  kGb2312 = 16,    // has a GB2312 form, the same bytes
  kUnspaced = 64,  // a letter of a script written without spaces between words (Han, kana, Thai...)
  kUnjoined = 128,  // a format character that joins no letter (a zero-width space, a soft hyphen)
};

// The byte length of the GB18030 character at `at`: 1, 2 or 4; 1 for a
// byte that starts no whole character.
inline size_t CharacterLength(std::string_view text, size_t at) {
  auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x81 || lead == 0xFF || at + 1 >= text.size()) return 1;
  auto second = static_cast<unsigned char>(text[at + 1]);
  if (second >= 0x30 && second <= 0x39) {
    if (at + 3 >= text.size()) return 1;
    auto third = static_cast<unsigned char>(text[at + 2]);
    auto fourth = static_cast<unsigned char>(text[at + 3]);
    bool whole = third >= 0x81 && third <= 0xFE && fourth >= 0x30 && fourth <= 0x39;
    return whole ? 4 : 1;
  }
  return second >= 0x40 && second <= 0xFE && second != 0x7F ? 2 : 1;
}

// The traits of one whole character (as CharacterLength cuts it); 0 for a
// broken byte or a sequence GB18030 does not map.
uint8_t TraitsOf(std::string_view character);

// Whether one whole character (as CharacterLength cuts it) is one GB18030
// maps, as the converter that reads a corpus --from GB18030 judges it.
bool IsMappedCharacter(std::string_view character);

// Columns a terminal gives `text` (library text): two for wide and
// full-width characters, none for joiners, one for the rest.
size_t DisplayWidth(std::string_view text);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_CHARACTERS_H_
