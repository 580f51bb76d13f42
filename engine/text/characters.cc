#include "engine/text/characters.h"

#include <iconv.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <array>
#include <vector>

namespace ulo::engine {
namespace {

// Width is asked only for display, so it stays out of the public traits.
constexpr uint8_t kWide = 32;

// An iconv handle closed with its owner.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle(iconv_open(to, from)) {}
  ~Iconv() {
    if (open()) iconv_close(handle);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool open() const { return handle != reinterpret_cast<iconv_t>(-1); }

  // The whole of `in` converted into `out` (at most `room` bytes); the
  // length written, or 0 when any of it does not convert.
  size_t Run(std::string_view in, char* out, size_t room) {
    if (!open()) return 0;
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    char* inPointer = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPointer = out;
    size_t outLeft = room;
    if (iconv(handle, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) ||
        inLeft != 0) {
      return 0;
    }
    return room - outLeft;
  }

 private:
  iconv_t handle;
};

// The code point of one GB18030 character, or -1.
UChar32 Decode(Iconv& decoder, std::string_view character) {
  unsigned char out[8];
  if (decoder.Run(character, reinterpret_cast<char*>(out), sizeof out) != 4) return -1;
  return static_cast<UChar32>(out[0] | out[1] << 8 | out[2] << 16 | uint32_t{out[3]} << 24);
}

uint8_t TraitsOfCodePoint(UChar32 c) {
  if (c < 0) return 0;
  uint32_t category = U_MASK(u_charType(c));
  uint8_t traits = 0;
  if ((category & U_GC_L_MASK) != 0 || u_hasBinaryProperty(c, UCHAR_IDEOGRAPHIC)) traits |= kLetter;
  if ((category & (U_GC_P_MASK | U_GC_S_MASK | U_GC_N_MASK)) != 0) traits |= kSymbol;
  if ((category & (U_GC_M_MASK | U_GC_CF_MASK)) != 0) traits |= kJoiner;
  // Of the format characters only the joiners (ZWJ, ZWNJ) shape a letter.
  if ((category & U_GC_CF_MASK) != 0 && !u_hasBinaryProperty(c, UCHAR_JOIN_CONTROL))
    traits |= kUnjoined;
  if (u_isUWhiteSpace(c)) traits |= kSpace;
  if ((traits & kLetter) != 0) {
    // Scripts whose lines may break between any two letters are the ones
    // whose words nothing marks. A letter shared by scripts (kana's ー, the
    // iteration marks) counts with those it is written in.
    UErrorCode status = U_ZERO_ERROR;
    UScriptCode scripts[16];
    int count = uscript_getScriptExtensions(c, scripts, 16, &status);
    bool unspaced = u_hasBinaryProperty(c, UCHAR_IDEOGRAPHIC);
    for (int i = 0; U_SUCCESS(status) && i < count && !unspaced; ++i)
      unspaced = uscript_breaksBetweenLetters(scripts[i]);
    if (unspaced) traits |= kUnspaced;
  }
  int width = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
  if (width == U_EA_WIDE || width == U_EA_FULLWIDTH) traits |= kWide;
  return traits;
}

constexpr int kTrails = 0xFE - 0x40 + 1;

// Every one- and two-byte character's traits, worked out once: GB2312
// text, the common case, never reaches iconv while it is counted.
struct Tables {
  std::array<uint8_t, 128> ascii{};
  std::vector<uint8_t> doubleByte = std::vector<uint8_t>(126 * kTrails, 0);

  Tables() {
    for (UChar32 c = 0; c < 128; ++c)
      ascii[static_cast<size_t>(c)] = TraitsOfCodePoint(c) | kGb2312;
    Iconv decoder("UTF-32LE", "GB18030");
    Iconv gb2312("UTF-32LE", "GB2312");
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        unsigned char utf32[8];
        if (decoder.Run(std::string_view(bytes, 2), reinterpret_cast<char*>(utf32), 8) != 4) {
          continue;
        }
        UChar32 c = utf32[0] | utf32[1] << 8 | utf32[2] << 16;
        uint8_t traits = TraitsOfCodePoint(c);
        // A GB2312 host reads the bytes, whichever code point each side
        // maps them to (A1 AA is U+2014 here, U+2015 to some GB2312 tables).
        char ignored[8];
        if (lead >= 0xA1 && trail >= 0xA1 &&
            gb2312.Run(std::string_view(bytes, 2), ignored, 8) > 0) {
          traits |= kGb2312;
        }
        doubleByte[static_cast<size_t>((lead - 0x81) * kTrails + (trail - 0x40))] = traits;
      }
    }
  }
};

const Tables& TheTables() {
  static const Tables tables;
  return tables;
}

// Four-byte characters are rare in Chinese text: decoded one at a time.
Iconv& FourByteDecoder() {
  thread_local Iconv decoder("UTF-32LE", "GB18030");
  return decoder;
}

uint8_t AllTraits(std::string_view character) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(character.data());
  if (character.size() == 1) return bytes[0] < 0x80 ? TheTables().ascii[bytes[0]] : 0;
  if (character.size() == 2) {
    if (bytes[0] < 0x81 || bytes[0] == 0xFF || bytes[1] < 0x40 || bytes[1] == 0xFF) return 0;
    return TheTables()
        .doubleByte[static_cast<size_t>((bytes[0] - 0x81) * kTrails + (bytes[1] - 0x40))];
  }
  if (character.size() != 4) return 0;
  return TraitsOfCodePoint(Decode(FourByteDecoder(), character));
}

}  // namespace

bool IsMappedCharacter(std::string_view character) {
  if (character.size() == 1) return static_cast<unsigned char>(character[0]) < 0x80;
  // Every two-byte code of GB18030's shape maps to a character; a four-byte
  // one may not (beyond U+10FFFF, or one this system's converter lacks).
  if (character.size() == 2) return true;
  return character.size() == 4 && Decode(FourByteDecoder(), character) >= 0;
}

uint8_t TraitsOf(std::string_view character) {
  return AllTraits(character) & ~kWide;
}

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    size_t length = CharacterLength(text, i);
    uint8_t traits = AllTraits(text.substr(i, length));
    width += (traits & kWide) != 0 ? 2 : (traits & kJoiner) != 0 ? 0 : 1;
    i += length;
  }
  return width;
}

}  // namespace ulo::engine
