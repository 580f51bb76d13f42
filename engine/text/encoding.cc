#include "engine/text/encoding.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>

#include <cctype>
#include <clocale>

#include "engine/text/characters.h"
#include "engine/text/filter.h"

namespace ulo::engine {
namespace {

iconv_t Handle(void* handle) {
  return reinterpret_cast<iconv_t>(handle);
}
bool IsOpen(void* handle) {
  return handle != reinterpret_cast<void*>(-1);
}

// Length of the UTF-8 sequence that `lead` starts; 1 for a stray byte.
size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// Length of the well-formed UTF-8 sequence `text` starts with; 0 for a
// stray, cut or ill-formed one (an overlong form, a surrogate, a code past
// U+10FFFF), which is no character at all rather than one a target lacks.
size_t WholeUtf8Length(std::string_view text) {
  auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return 1;
  size_t length = Utf8Length(lead);
  if (length == 1 || length > text.size()) return 0;
  auto second = static_cast<unsigned char>(text[1]);
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (second < low || second > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Runs `handle` over `in`, appending to `*out`. At a sequence it cannot
// take, calls skip(remaining) to learn how many bytes to drop.
template <typename Skip>
void Run(iconv_t handle, std::string_view in, std::string* out, Skip skip) {
  char* inPointer = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char chunk[4096];
  while (inLeft > 0) {
    char* outPointer = chunk;
    size_t outLeft = sizeof chunk;
    size_t result = iconv(handle, &inPointer, &inLeft, &outPointer, &outLeft);
    out->append(chunk, static_cast<size_t>(outPointer - chunk));
    if (result != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ, or EINVAL for a sequence cut off at the end of the text.
    size_t drop = skip(std::string_view(inPointer, inLeft));
    if (drop > inLeft) drop = inLeft;
    inPointer += drop;
    inLeft -= drop;
  }
  // Flush any shift state.
  char* outPointer = chunk;
  size_t outLeft = sizeof chunk;
  iconv(handle, nullptr, nullptr, &outPointer, &outLeft);
  out->append(chunk, static_cast<size_t>(outPointer - chunk));
}

std::string FoldedName(std::string_view name) {
  std::string folded;
  for (char c : name) {
    if (c != '-' && c != '_')
      folded.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return folded;
}

}  // namespace

bool IsUtf8Name(std::string_view name) {
  return FoldedName(name) == "utf8";
}

bool IsGb2312Name(std::string_view name) {
  std::string folded = FoldedName(name);
  return folded == "gb2312" || folded == "euccn" || folded == "csgb2312" || folded == "cngb";
}

bool SameEncodingName(std::string_view name, std::string_view other) {
  return FoldedName(name) == FoldedName(other);
}

bool KeepsText(const std::string& from, const std::string& to, std::string_view text,
               std::string* error) {
  Converter converter;
  std::string unknown, converted;
  if (!converter.Open(from, to, error != nullptr ? error : &unknown)) return false;
  converter.Convert(text, &converted);
  return converted == text && converter.invalid() == 0;
}

namespace {

// Every ASCII character but NUL, which no text of the library holds.
std::string Ascii() {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c)
    ascii += static_cast<char>(c);
  return ascii;
}

}  // namespace

std::string OutputEncodingProblem(const std::string& name) {
  std::string error;
  if (KeepsText(kPeopleEncoding, name, Ascii(), &error)) return {};
  if (!error.empty()) return error;
  return "words cannot be written in " + name +
         ": it does not keep ASCII text as it is, so the TABs, commas and line ends between "
         "them would be other bytes (UTF-8, GB18030 or latin1 keep it)";
}

std::string WordsEncodingProblem(const std::string& name) {
  if (std::string problem = OutputEncodingProblem(name); !problem.empty()) return problem;
  if (KeepsText(name, kPeopleEncoding, Ascii())) return {};
  return "words cannot be read back from " + name +
         ": some of its ASCII bytes are other characters (UTF-8, GB18030 or latin1 keep them)";
}

std::string EncodingProblem(const std::string& name) {
  // Text read in `name` must be readable and showable alike.
  Converter in, out;
  std::string error;
  return in.Open(name, kLibraryEncoding, &error) && out.Open(kLibraryEncoding, name, &error)
             ? ""
             : error;
}

std::string SourceEncodingProblem(const std::string& name) {
  if (std::string problem = EncodingProblem(name); !problem.empty()) return problem;
  if (KeepsText(kLibraryEncoding, name, "\n")) return {};
  return "corpora cannot be read in " + name +
         ": its line end is not the byte LF, so its lines would not be found (UTF-8, GB18030 "
         "or Big5 keep it)";
}

std::string LackedCharacterProblem() {
  return std::string("a character that this system's ") + kLibraryEncoding +
         " converter lacks (a private-use one), which would be cut out of its word";
}

bool ConvertWhole(Converter& converter, const std::string& from, std::string_view line,
                  std::string* out, std::string* problem) {
  uint64_t invalid = converter.invalid();
  uint64_t lacked = converter.unrepresentable();
  out->clear();
  converter.Convert(line, out);
  if (converter.invalid() != invalid) {
    *problem = "not valid " + from;
  } else if (converter.unrepresentable() != lacked) {
    *problem = LackedCharacterProblem();
  }
  return problem->empty();
}

std::string LossyWordsNote(uint64_t words, const std::string& encoding) {
  return std::to_string(words) + (words == 1 ? " word holds" : " words hold") +
         " characters that " + encoding + " lacks: each is written as '?'";
}

std::string TerminalEncoding() {
  // Only the character type is taken from the environment, and only for
  // this question: numbers keep their '.' everywhere.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = previous != nullptr ? previous : "C";
  std::setlocale(LC_CTYPE, "");
  std::string codeset = nl_langinfo(CODESET);
  std::setlocale(LC_CTYPE, saved.c_str());
  if (codeset.empty() || SameEncodingName(codeset, "ANSI_X3.4-1968") ||
      SameEncodingName(codeset, "ASCII")) {
    return kPeopleEncoding;
  }
  return codeset;
}

Converter::~Converter() {
  if (IsOpen(toUtf8)) iconv_close(Handle(toUtf8));
  if (IsOpen(fromUtf8)) iconv_close(Handle(fromUtf8));
}

bool Converter::Open(const std::string& from, const std::string& to, std::string* error) {
  source = from;
  sourceIsUtf8 = IsUtf8Name(from);
  targetIsUtf8 = IsUtf8Name(to);
  sourceIsGb2312 = IsGb2312Name(from);
  targetIsGb2312 = IsGb2312Name(to);
  if (!sourceIsUtf8) {
    const char* name = sourceIsGb2312 ? kLibraryEncoding : from.c_str();
    toUtf8 = reinterpret_cast<void*>(iconv_open("UTF-8", name));
    if (!IsOpen(toUtf8)) {
      *error = "unknown encoding '" + from + "' (see iconv --list)";
      return false;
    }
  }
  // Validating UTF-8 against itself drops invalid bytes too.
  const char* target = targetIsUtf8 ? "UTF-8" : targetIsGb2312 ? kLibraryEncoding : to.c_str();
  fromUtf8 = reinterpret_cast<void*>(iconv_open(target, "UTF-8"));
  if (!IsOpen(fromUtf8)) {
    *error = "unknown encoding '" + to + "' (see iconv --list)";
    return false;
  }
  return true;
}

size_t Converter::NoteInvalid(size_t at) {
  ++invalidCount;
  if (firstInvalidAt == std::string_view::npos) firstInvalidAt = at;
  return 1;
}

void Converter::NoteUnrepresentable(size_t at, std::string* out) {
  ++unrepresentableCount;
  if (firstUnrepresentableAt == std::string_view::npos) firstUnrepresentableAt = at;
  out->append(substitute);
}

void Converter::Convert(std::string_view in, std::string* out) {
  const uint64_t unrepresentableBefore = unrepresentableCount;
  firstInvalidAt = firstUnrepresentableAt = std::string_view::npos;
  std::string_view utf8 = in;
  if (sourceIsGb2312) {
    ReadGb2312(in);
    utf8 = scratch;
  } else if (!sourceIsUtf8) {
    scratch.clear();
    Run(Handle(toUtf8), in, &scratch,
        [&](std::string_view rest) { return NoteInvalid(in.size() - rest.size()); });
    utf8 = scratch;
  }
  utf8Length = utf8.size();
  if (targetIsGb2312) {
    WriteGb2312(utf8, out);
  } else {
    // iconv writes valid UTF-8, so only a UTF-8 source has invalid bytes here.
    Run(Handle(fromUtf8), utf8, out, [&](std::string_view rest) {
      size_t at = utf8.size() - rest.size();
      size_t length = WholeUtf8Length(rest);
      if (length < 2) return NoteInvalid(at);
      NoteUnrepresentable(at, out);
      return length;
    });
  }
  if (unrepresentableCount != unrepresentableBefore) ++lossyCount;
}

void Converter::ReadGb2312(std::string_view in) {
  scratch.clear();
  size_t start = 0;
  auto flush = [&](size_t end) {
    // Valid GB2312 is valid GB18030, which iconv reads whole.
    Run(Handle(toUtf8), in.substr(start, end - start), &scratch,
        [&](std::string_view rest) { return NoteInvalid(end - rest.size()); });
  };
  for (size_t at = 0; at < in.size();) {
    size_t length = CharacterLength(in, at);
    if (static_cast<unsigned char>(in[at]) < 0x80 || HasGb2312Form(in.substr(at, length))) {
      at += length;
      continue;
    }
    flush(at);
    NoteInvalid(at);
    at += length;
    start = at;
  }
  flush(in.size());
}

void Converter::WriteGb2312(std::string_view utf8, std::string* out) {
  // The text goes to GB18030 in one call, then is walked beside its UTF-8
  // form: each character iconv took gave one GB18030 character, each it
  // stopped at (not valid, or lacked) gave none.
  gb18030.clear();
  skipped.clear();
  Run(Handle(fromUtf8), utf8, &gb18030, [&](std::string_view rest) {
    skipped.push_back(utf8.size() - rest.size());
    size_t length = WholeUtf8Length(rest);
    return length < 2 ? size_t{1} : length;
  });
  size_t next = 0;  // the next of `skipped`
  for (size_t at = 0, gb = 0; at < utf8.size();) {
    if (next < skipped.size() && skipped[next] == at) {
      ++next;
      size_t length = WholeUtf8Length(utf8.substr(at));
      if (length < 2) {
        NoteInvalid(at);
        ++at;
      } else {
        NoteUnrepresentable(at, out);
        at += length;
      }
      continue;
    }
    auto lead = static_cast<unsigned char>(utf8[at]);
    size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::string_view character;
    if (gb < gb18030.size()) character = {gb18030.data() + gb, CharacterLength(gb18030, gb)};
    // ASCII is GB2312's own.
    if (!character.empty() && (length == 1 || HasGb2312Form(character))) {
      out->append(character);
    } else {
      NoteUnrepresentable(at, out);
    }
    gb += character.size();
    at += length;
  }
}

std::string Converter::InvalidTextProblem(const std::string& file) const {
  if (invalidCount == 0) return {};
  return file + " holds words that are not " + source + " text";
}

bool PeopleText::Open(const std::string& shown, const std::string& typed, std::string* error) {
  if (!out.Open(kLibraryEncoding, shown, error) || !in.Open(typed, kLibraryEncoding, error)) {
    return false;
  }
  *error = OutputEncodingProblem(shown);
  if (!error->empty()) return false;
  out.MarkUnrepresentable("?");
  return true;
}

std::string PeopleText::Show(std::string_view text) {
  std::string shown;
  out.Convert(text, &shown);
  return shown;
}

bool PeopleText::Take(std::string_view typed, std::string* word) {
  uint64_t lost = in.invalid() + in.unrepresentable();
  word->clear();
  in.Convert(typed, word);
  return in.invalid() + in.unrepresentable() == lost;
}

}  // namespace ulo::engine
