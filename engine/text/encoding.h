// Conversion between the user's text encodings and the library's.
//
// The library compares bytes and splits lines at TAB and LF only. Its files
// hold GB18030, which has every Unicode character, keeps GB2312's bytes as
// they are (a GB2312 corpus gives the same files) and has no TAB or LF byte
// inside a character. People read UTF-8, or the encoding they ask for.
#ifndef ULO_ENGINE_ENCODING_H_
#define ULO_ENGINE_ENCODING_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ulo::engine {

// The encoding of the library's files: pair counts, support records, top-N.
inline constexpr char kLibraryEncoding[] = "GB18030";
// What people read unless they ask for another encoding.
inline constexpr char kPeopleEncoding[] = "UTF-8";

// Converts text from one encoding to another with iconv. Characters that the
// target cannot represent are skipped and counted; bytes that are not valid
// in the source encoding are skipped and counted apart. GB2312 is read and
// written as the library's bytes of GB2312's characters: iconv's own GB2312
// takes A1 A4 and A1 AA (a middle dot, a dash) for other code points than
// its GB18030 does, so 马克·吐温 would become another word.
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
  // Characters the target lacks become `mark` (for text shown to people)
  // instead of being skipped; they are still counted.
  void MarkUnrepresentable(std::string mark) { substitute = std::move(mark); }

  uint64_t unrepresentable() const { return unrepresentableCount; }
  uint64_t invalid() const { return invalidCount; }
  // Where the last Convert met its first invalid byte, as an offset into its
  // input, and its first character the target lacks, as an offset into the
  // input's UTF-8 form (the input itself when the source is UTF-8); npos
  // when it met none. A caller can name the character that failed.
  size_t firstInvalid() const { return firstInvalidAt; }
  size_t firstUnrepresentable() const { return firstUnrepresentableAt; }
  // The length of the last Convert's input in UTF-8.
  size_t utf8Size() const { return utf8Length; }
  // Calls of Convert whose text held a character the target lacks: the
  // words that could not be written whole.
  uint64_t lossy() const { return lossyCount; }
  // The refusal of `file` once text converted from it held bytes that are
  // not valid in the source encoding: they were skipped, and a word without
  // them is another word. Empty while none did.
  std::string InvalidTextProblem(const std::string& file) const;

 private:
  // Source -> UTF-8 (when the source is not UTF-8) and UTF-8 -> target: in
  // UTF-8 the length of a character that cannot be converted is known, so it
  // can be skipped whole.
  void* toUtf8 = reinterpret_cast<void*>(-1);
  void* fromUtf8 = reinterpret_cast<void*>(-1);
  std::string source;
  bool sourceIsUtf8 = false;
  bool targetIsUtf8 = false;
  std::string scratch;
  // WriteGb2312's text in GB18030, and the offsets where iconv stopped.
  std::string gb18030;
  std::vector<size_t> skipped;
  std::string substitute;
  bool sourceIsGb2312 = false;
  bool targetIsGb2312 = false;
  uint64_t unrepresentableCount = 0;
  uint64_t invalidCount = 0;
  uint64_t lossyCount = 0;
  size_t firstInvalidAt = std::string_view::npos;
  size_t firstUnrepresentableAt = std::string_view::npos;
  size_t utf8Length = 0;

  // Count a byte skipped at `at` (returns 1, the bytes to skip); a
  // character the target lacks at `at`, writing the mark for it.
  size_t NoteInvalid(size_t at);
  void NoteUnrepresentable(size_t at, std::string* out);
  // GB2312 `in` into `scratch` as UTF-8; GB2312's characters in `utf8` to
  // `*out`, the others as lacked.
  void ReadGb2312(std::string_view in);
  void WriteGb2312(std::string_view utf8, std::string* out);
};

// The refusal of text holding a character that the library's encoding, as
// this system's iconv has it, lacks (a few private-use ones): cut out, it
// would leave another word.
std::string LackedCharacterProblem();

// Converts one line of text in `from` into `*out`, the library's encoding.
// A line with a byte not valid in `from`, or a character the library's
// encoding lacks, is refused with `*problem` (which must be empty on entry):
// counted or listed without them, its words would be other words. Valid
// GB2312 text keeps its own bytes, which are the library's already.
bool ConvertWhole(Converter& converter, const std::string& from, std::string_view line,
                  std::string* out, std::string* problem);

// Whether `name` spells UTF-8 ("UTF-8", "utf8", ...).
bool IsUtf8Name(std::string_view name);
// Whether `name` is one of iconv's names of GB2312 ("GB2312", "EUC-CN", ...).
bool IsGb2312Name(std::string_view name);
// Whether `name` spells the same encoding as `other`, ignoring case, '-' and '_'.
bool SameEncodingName(std::string_view name, std::string_view other);

// Whether `text` converted from `from` to `to` is `text` itself, every byte
// valid: what each rule below asks of an encoding. False, with iconv's
// sentence in `*error` when given, for an encoding iconv does not know.
bool KeepsText(const std::string& from, const std::string& to, std::string_view text,
               std::string* error = nullptr);

// Empty when words can be written in `name`; else the sentence that refuses
// it. ASCII text must convert to itself byte for byte, so that readers find
// the TABs, commas, digits and line ends: UTF-16, UTF-32 and UTF-7 do not
// (and each word, converted apart, would start with a byte-order mark).
std::string OutputEncodingProblem(const std::string& name);
// OutputEncodingProblem, and the way back: words written in `name` must
// read back as written (Shift JIS's 0x5C, for one, reads as the yen sign).
std::string WordsEncodingProblem(const std::string& name);

// Empty when iconv converts `name` to and from the library's encoding; else
// iconv's sentence.
std::string EncodingProblem(const std::string& name);

// Empty when corpora in `name` can be read into the library's encoding a
// line at a time; else the sentence that refuses it. Lines are cut at the
// byte LF before they are converted: an encoding that writes LF otherwise
// (EBCDIC's 0x25, UTF-16's two bytes) would have its lines run together.
std::string SourceEncodingProblem(const std::string& name);

// What a command tells of `words` it wrote with '?' for the characters
// `encoding` lacks: the lossy form is kept, never silently.
std::string LossyWordsNote(uint64_t words, const std::string& encoding);

// The encoding of the terminal's locale (LC_CTYPE from the environment);
// UTF-8 where the locale names plain ASCII, of which UTF-8 is a superset.
std::string TerminalEncoding();

// Library text for people and people's words for the library: the one
// conversion of everything ulo shows, prints or exports.
class PeopleText {
 public:
  // `shown` is what people read (UTF-8 unless asked), `typed` what their
  // words come in (the terminal's encoding). False with a sentence in
  // `*error` for an encoding iconv does not know, or a `shown` encoding
  // words cannot be written in (OutputEncodingProblem).
  bool Open(const std::string& shown, const std::string& typed, std::string* error);
  // Library text in the people's encoding; a character it lacks shows as '?'.
  std::string Show(std::string_view text);
  // A typed word in the library's encoding. False when `typed` is not
  // valid text in the typed encoding.
  bool Take(std::string_view typed, std::string* word);
  // The texts shown so far that held a character the people's encoding lacks.
  uint64_t lossyWords() const { return out.lossy(); }
  // Converter::InvalidTextProblem of the library text shown so far.
  std::string ShownTextProblem(const std::string& file) const {
    return out.InvalidTextProblem(file);
  }

 private:
  Converter out;
  Converter in;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_ENCODING_H_
