#include "host/commands/demo_corpus.h"

#include <cstdint>
#include <cstdio>

namespace ulo::host {
namespace {

// Common two-character phrases of classical verse, in UTF-8.
const char* const kPhrases[] = {
    "明月", "月光", "山月", "月明", "青山", "山水", "江山", "空山", "白云", "流水",
    "春风", "秋风", "落花", "故人", "长安", "孤城", "夕阳", "归来", "千里", "万里",
    "江南", "江水", "天涯", "寒山", "黄河", "高楼", "相思", "芳草", "杨柳", "东风",
    "白日", "人间", "春水", "山中", "月下", "清风", "深山", "明朝", "美人", "飞鸟",
};
constexpr int kPhraseCount = sizeof kPhrases / sizeof kPhrases[0];

}  // namespace

bool WriteSyntheticCorpus(const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  uint64_t state = 20260101;
  auto next = [&state] {  // a small fixed LCG: the same corpus everywhere
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((state >> 33) % kPhraseCount);
  };
  for (int line = 0; line < 4000; ++line) {
    // Two five-character halves: two phrases and one more character each.
    for (int half = 0; half < 2; ++half) {
      int a = next();
      int b = (a + 1 + next() % 4) % kPhraseCount;  // nearby phrases go together
      std::fputs(kPhrases[a], out);
      std::fputs(kPhrases[b], out);
      std::fwrite(kPhrases[next()], 1, 3, out);  // the first character of a third phrase
      std::fputs(half == 0 ? "\xEF\xBC\x8C" : "\xE3\x80\x82\n", out);  // comma, full stop
    }
  }
  bool ok = std::ferror(out) == 0;
  return std::fclose(out) == 0 && ok;
}

}  // namespace ulo::host
