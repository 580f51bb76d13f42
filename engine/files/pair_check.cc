#include "engine/files/pair_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/files/checks.h"
#include "engine/files/seal.h"
#include "engine/files/staging.h"

namespace ulo::engine {
namespace {

constexpr size_t kBlock = size_t{1} << 20;
constexpr size_t kShownBytes = 40;

// Bytes as a message shows them: control bytes escaped, long text cut.
std::string Shown(std::string_view bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < kShownBytes; ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '\t') {
      text += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    } else {
      text += static_cast<char>(byte);
    }
  }
  if (bytes.size() > kShownBytes) text += "...";
  return text;
}

struct PairLine {
  std::string_view word1, word2;
};

// Splits `line` into its pair and checks its count; the problem, or empty.
std::string Parse(std::string_view line, PairLine* pair) {
  if (std::memchr(line.data(), '\0', line.size()) != nullptr) {
    return "a NUL byte (binary data, not text)";
  }
  size_t first = line.find('\t');
  size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
  if (second == std::string_view::npos) {
    return std::string(first == std::string_view::npos ? "one field" : "two fields") +
           " where word TAB word TAB count is expected: '" + Shown(line) + "'";
  }
  pair->word1 = line.substr(0, first);
  pair->word2 = line.substr(first + 1, second - first - 1);
  if (pair->word1.empty()) return "the first word is empty";
  if (pair->word2.empty()) return "the second word is empty";
  std::string_view count = line.substr(second + 1);
  if (count.empty()) return "no count after the second TAB";
  // Up to 18 digits stay within 64 bits: only longer counts are summed.
  constexpr size_t kSafeDigits = 18;
  uint64_t value = 0;
  for (char c : count) {
    if (c < '0' || c > '9') return "the count '" + Shown(count) + "' is not digits only";
    if (count.size() <= kSafeDigits) continue;
    if (value > (uint64_t{INT64_MAX} - static_cast<uint64_t>(c - '0')) / 10) {
      return "the count " + Shown(count) + " is beyond 64 bits";
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return {};
}

// Whether `line` is word TAB word TAB count with nothing wrong, its words
// then in `*pair`: Parse's rules, for the common case of counts of up to 18
// digits; false says only that Parse must look.
bool WellFormed(std::string_view line, PairLine* pair) {
  const char* start = line.data();
  const char* end = start + line.size();
  auto tab1 = static_cast<const char*>(std::memchr(start, '\t', line.size()));
  if (tab1 == nullptr || tab1 == start) return false;
  auto tab2 = static_cast<const char*>(std::memchr(tab1 + 1, '\t', end - tab1 - 1));
  if (tab2 == nullptr || tab2 == tab1 + 1 || end - tab2 - 1 < 1 || end - tab2 - 1 > 18) {
    return false;
  }
  for (const char* digit = tab2 + 1; digit < end; ++digit) {
    if (static_cast<unsigned char>(*digit - '0') > 9) return false;
  }
  if (std::memchr(start, '\0', tab2 - start) != nullptr) return false;
  pair->word1 = std::string_view(start, tab1 - start);
  pair->word2 = std::string_view(tab1 + 1, tab2 - tab1 - 1);
  return true;
}

// Byte order of two words: bytes as unsigned values, a word before its
// extensions.
int CompareWords(std::string_view x, std::string_view y) {
  size_t common = x.size() < y.size() ? x.size() : y.size();
  int order = common == 0 ? 0 : std::memcmp(x.data(), y.data(), common);
  if (order != 0) return order;
  return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
}

// Follows the lines of a file one by one, keeping the last pair: as views
// into the caller's buffer, copied only when the buffer is about to change.
class Checker {
 public:
  explicit Checker(PairNeeds needs) : needs(needs) {}

  // The problem of the next line, or empty.
  std::string Take(std::string_view line) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    PairLine pair;
    // Nearly every line is well formed: told so quickly, and only a line that
    // is not is taken apart again for the words that say why.
    if (!WellFormed(line, &pair)) {
      if (std::string problem = Parse(line, &pair); !problem.empty()) return problem;
    }
    if ((needs.order || needs.unique) && number > 1) {
      int order = CompareWords(last.word1, pair.word1);
      if (order == 0) order = CompareWords(last.word2, pair.word2);
      if (order > 0) {
        return "the pair '" + Shown(pair.word1) + " " + Shown(pair.word2) + "' comes after '" +
               Shown(last.word1) + " " + Shown(last.word2) +
               "': the lines are not in byte order (a merge writes them in order; LC_ALL=C "
               "sort puts a file in order)";
      }
      if (order == 0 && needs.unique) {
        return "the pair '" + Shown(pair.word1) + " " + Shown(pair.word2) + "' again (on line " +
               std::to_string(number - 1) + " too): each pair stands once, with its summed count";
      }
    }
    last = pair;
    return {};
  }

  // Takes `line` as the one before the first, when it has the shape of a
  // pair line: the order runs on from it. What is wrong with it is not this
  // checker's to report.
  // True when it did.
  bool Prime(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    PairLine pair;
    if (!Parse(line, &pair).empty()) return false;
    last = pair;
    number = 1;
    return true;
  }

  // The problem of the first of `lines` (each ended by LF; the last one
  // taken even without) that has one, or empty.
  std::string TakeLines(std::string_view lines) {
    while (!lines.empty()) {
      if (size_t taken = TakeShort(lines); taken > 0) {
        lines.remove_prefix(taken);
        continue;
      }
      size_t stop = lines.find('\n');
      if (std::string problem = Take(lines.substr(0, stop)); !problem.empty()) return problem;
      if (stop == std::string_view::npos) break;
      lines.remove_prefix(stop + 1);
    }
    return {};
  }

  // Copies the last pair out of the buffer, which is about to be reused.
  void Keep() {
    word1.assign(last.word1);
    word2.assign(last.word2);
    last = {word1, word2};
  }

  uint64_t line() const { return number; }

 private:
  // Takes the first of `lines` when it is a well-formed line of under 32
  // bytes in order after the last: two 16-byte loads find its tabs, its end
  // and any NUL byte. Most lines of a pair file are that short, and this is
  // most of a check's time. Returns the bytes taken with the LF, or 0 for
  // Take to look at the line (and word any problem).
  size_t TakeShort(std::string_view lines) {
#if defined(__SSE2__)
    if (lines.size() < 32) return 0;
    const char* at = lines.data();
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
    // The bytes for which `test` holds, as the bits of a 32-bit mask.
    auto mask = [&](auto test) {
      return static_cast<uint32_t>(_mm_movemask_epi8(test(low))) |
             static_cast<uint32_t>(_mm_movemask_epi8(test(high))) << 16;
    };
    auto equal = [&](char byte) {
      return mask([byte](__m128i bytes) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte)); });
    };
    uint32_t newlines = equal('\n');
    if (newlines == 0) return 0;
    unsigned end = static_cast<unsigned>(__builtin_ctz(newlines));
    uint32_t before = (uint32_t{1} << end) - 1;
    uint32_t tabs = equal('\t') & before;
    uint32_t later = tabs & (tabs - 1);  // the tabs after the first
    if (later == 0 || (later & (later - 1)) != 0 || (equal('\0') & before) != 0) return 0;
    unsigned tab1 = static_cast<unsigned>(__builtin_ctz(tabs));
    unsigned tab2 = static_cast<unsigned>(__builtin_ctz(later));
    // Empty words, no count, or more digits than fit for sure in 64 bits.
    if (tab1 == 0 || tab2 == tab1 + 1 || tab2 + 1 == end || end - tab2 - 1 > 18) return 0;
    // Signed compares: bytes from 0x80 up are below '0' here.
    uint32_t digits = mask([](__m128i bytes) {
      return _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                           _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
    });
    uint32_t count = before & ~((uint32_t{2} << tab2) - 1);
    if ((digits & count) != count) return 0;
    PairLine pair{std::string_view(at, tab1), std::string_view(at + tab1 + 1, tab2 - tab1 - 1)};
    if ((needs.order || needs.unique) && number > 0) {
      int order = CompareWords(last.word1, pair.word1);
      if (order == 0) order = CompareWords(last.word2, pair.word2);
      // Out of order or again: Take says so in words.
      if (order > 0 || (order == 0 && needs.unique)) return 0;
    }
    ++number;
    last = pair;
    return end + 1;
#else
    (void)lines;
    return 0;
#endif
  }

  PairNeeds needs;
  uint64_t number = 0;
  PairLine last;
  std::string word1, word2;
};

}  // namespace

bool ParsePairNeeds(std::string_view text, PairNeeds* needs) {
  *needs = {};
  if (text.empty() || text == "shape") return true;
  if (text == "order") {
    needs->order = true;
  } else if (text == "unique") {
    needs->unique = true;
  } else if (text == "order,unique" || text == "unique,order") {
    *needs = kMergedPairs;
  } else {
    return false;
  }
  return true;
}

std::string PairLinesProblem(std::string_view before, std::string_view lines, PairNeeds needs) {
  Checker checker(needs);
  uint64_t primed = !before.empty() && checker.Prime(before) ? 1 : 0;
  std::string problem = checker.TakeLines(lines);
  if (problem.empty()) return {};
  return "line " + std::to_string(checker.line() - primed) + ": " + problem;
}

std::string PairLineProblem(std::string_view line) {
  PairLine pair;
  return Parse(line, &pair);
}

std::string PairFileProblem(const std::string& path, PairNeeds needs) {
  // A sealed file is a merged pair file, as it was when it was sealed.
  if (Sealed(path)) return {};
  Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return "cannot read " + path + ": " + ErrorText(errno);
  posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  Checker checker(needs);
  std::vector<char> buffer(kBlock);
  size_t held = 0;  // bytes of a line not yet whole, at the buffer's start
  auto failed = [&](const std::string& problem) {
    return path + " is not a pair-count file: line " + std::to_string(checker.line()) + ": " +
           problem;
  };
  for (;;) {
    if (held == buffer.size()) buffer.resize(buffer.size() * 2);  // a line longer than a block
    ssize_t got = read(file.get(), buffer.data() + held, buffer.size() - held);
    if (got < 0) {
      if (errno == EINTR) continue;
      return "cannot read " + path + " to its end: " + ErrorText(errno);
    }
    if (got == 0) break;
    // The whole lines now; the part of one after the last line end waits.
    std::string_view filled(buffer.data(), held + static_cast<size_t>(got));
    size_t whole = filled.rfind('\n') + 1;  // 0 when there is no line end
    if (std::string problem = checker.TakeLines(filled.substr(0, whole)); !problem.empty()) {
      return failed(problem);
    }
    const char* start = buffer.data() + whole;
    held = filled.size() - whole;
    checker.Keep();
    std::memmove(buffer.data(), start, held);
  }
  if (held > 0) {  // a last line without its line end
    std::string problem = checker.Take(std::string_view(buffer.data(), held));
    if (!problem.empty()) return failed(problem);
  }
  return {};
}

}  // namespace ulo::engine
