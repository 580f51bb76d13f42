// The extension object's Execute on fuzzed command buffers, a few in a row
// on one object, over stand-in exports that touch no file. Each buffer is a
// heap block of the fuzzer's bytes followed by a few NULs: a command lacks its
// terminators at most up to them, and reading past the block trips
// AddressSanitizer. The statuses, the arguments handed over and the busy
// flag must follow the command protocol.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "module/extension_module.h"

namespace ulo::fuzz {
namespace {

// The NULs behind the fuzzer's bytes: room for the longest argument block
// that an unterminated command may still reach (two empty strings, a count,
// a flag) and the name's own terminator.
constexpr size_t kPadding = 16;

struct Call {
  std::string name;
  std::vector<std::string> strings;
  int32_t number = 0;
  int32_t flag = 0;
};

// The block being executed, and the call the stand-ins saw.
const char* blockBegin = nullptr;
const char* blockEnd = nullptr;
Call seen;
int calls = 0;
int ends = 0;

// A string handed over must lie wholly inside the block, terminator included.
std::string Argument(const char* text) {
  Check(text >= blockBegin && text < blockEnd, "argument outside the command buffer");
  size_t length = strnlen(text, static_cast<size_t>(blockEnd - text));
  Check(text + length < blockEnd, "argument without terminator in the command buffer");
  return std::string(text, length);
}

// Answers follow the arguments, so that every status comes up.
ULO_BOOL Answer() {
  size_t total = 0;
  for (const std::string& text : seen.strings)
    total += text.size();
  return (total + static_cast<size_t>(seen.number)) % 3 != 0;
}

void Record(const char* name, std::vector<const char*> strings, int32_t number = 0,
            int32_t flag = 0) {
  ++calls;
  seen = Call{name, {}, number, flag};
  for (const char* text : strings)
    seen.strings.push_back(Argument(text));
}

ULO_BOOL ULO_CALL Begin(const char* workDir) {
  Record("begin", {workDir});
  return Answer();
}
ULO_BOOL ULO_CALL AddPair(const char* word1, const char* word2, int32_t count, int32_t oneWay) {
  Record("addPair", {word1, word2}, count, oneWay);
  return Answer();
}
int32_t ULO_CALL End() {
  Record("end", {});
  return ++ends % 2;
}
int32_t ULO_CALL Merge(const char* inputDir, const char* outputPath) {
  Record("merge", {inputDir, outputPath});
  return Answer() ? 0 : -8;
}
ULO_BOOL ULO_CALL Filter(const char* inputPath, const char* outputPath, int32_t threshold) {
  Record("filter", {inputPath, outputPath}, threshold);
  return Answer();
}
ULO_BOOL ULO_CALL Support(const char* inputPath, const char* outputPath) {
  Record("support", {inputPath, outputPath});
  return Answer();
}

const module::CommandExports kStandIns = {&Begin, &AddPair, &End, &Merge, &Filter, &Support};

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The argument block read the plain way.
class Block {
 public:
  explicit Block(const char* at) : at(at) {}
  std::string String() {
    std::string text(at);
    at += text.size() + 1;
    return text;
  }
  int32_t Int32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= static_cast<uint32_t>(static_cast<unsigned char>(*at++)) << (8 * i);
    return static_cast<int32_t>(value);
  }
  int32_t Byte() { return static_cast<unsigned char>(*at++); }

 private:
  const char* at;
};

}  // namespace
}  // namespace ulo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  using namespace ulo::module;
  Bytes bytes(data, size);
  std::vector<std::string_view> commands = Split(bytes.Rest(), "\xFE\xFF");
  if (commands.size() > 16) commands.resize(16);

  MemoryEnv env;  // a Begin that waits sleeps not at all
  ulo::platform::ScopedEnvOverride use(&env);
  auto* module = new ExtensionModuleImpl(kStandIns);
  bool busy = false;  // the flag as the protocol has it
  for (std::string_view command : commands) {
    std::unique_ptr<char[]> block(new char[command.size() + kPadding]());
    std::memcpy(block.get(), command.data(), command.size());
    blockBegin = block.get();
    blockEnd = block.get() + command.size() + kPadding;
    calls = 0;
    int32_t value = 0;
    int32_t status = module->Execute(block.get(), 0, &value, 0);

    if (std::memcmp(block.get() + 4, "r!", 3) != 0) {
      Check(status == kStatusNoSignature && calls == 0, "buffer without signature");
      continue;
    }
    const char* name = block.get() + 9;
    Block arguments(name + std::strlen(name) + 1);
    static const char* const kNames[] = {"ULO_Stat_AssociatedFreq_Begin",
                                         "ULO_Stat_AssociatedFreq",
                                         "ULO_Stat_AssociatedFreq_End",
                                         "ULO_MulMergeFile",
                                         "ULO_Filtrate",
                                         "ULO_GetWordSupportRec"};
    int matched = -1;
    for (int i = 0; i < 6 && matched < 0; ++i) {
      if (SameNameNoCase(name, kNames[i])) matched = i;
    }
    switch (matched) {
      case -1:
        Check(status == kStatusUnknownCommand && calls == 0, "unknown command");
        break;
      case 0:
        if (busy) {
          Check(status == kStatusBusyTimeout && calls == 0, "Begin while busy");
          break;
        }
        busy = true;
        Check(calls == 1 && seen.name == "begin", "Begin calls its export");
        CheckEqual(seen.strings[0], arguments.String(), "working directory");
        Check(status == (Answer() ? kStatusOk : kStatusBeginRefused), "Begin status");
        break;
      case 1:
        if (!busy) {
          Check(status == kStatusPairRefused && calls == 0, "pair-add without a run");
          break;
        }
        Check(calls == 1 && seen.name == "addPair", "pair-add calls its export");
        CheckEqual(seen.strings[0], arguments.String(), "word1");
        CheckEqual(seen.strings[1], arguments.String(), "word2");
        Check(seen.number == arguments.Int32(), "count");
        Check(seen.flag == arguments.Byte(), "flag");
        Check(status == (Answer() ? kStatusOk : kStatusPairRefused), "pair-add status");
        break;
      case 2:
        busy = false;
        Check(calls == 1 && seen.name == "end", "End calls its export");
        Check(status == (ends % 2 ? kStatusOk : kStatusEndFailed), "End status");
        break;
      case 3:
        Check(calls == 1 && seen.name == "merge", "merge calls its export");
        CheckEqual(seen.strings[0], arguments.String(), "merge input");
        CheckEqual(seen.strings[1], arguments.String(), "merge output");
        Check(status == (Answer() ? kStatusOk : kStatusMergeFailed), "merge status");
        break;
      case 4:
        Check(calls == 1 && seen.name == "filter", "filter calls its export");
        CheckEqual(seen.strings[0], arguments.String(), "filter input");
        CheckEqual(seen.strings[1], arguments.String(), "filter output");
        Check(seen.number == arguments.Int32(), "threshold");
        Check(status == (Answer() ? kStatusOk : kStatusFilterFailed), "filter status");
        break;
      case 5:
        Check(calls == 1 && seen.name == "support", "support calls its export");
        CheckEqual(seen.strings[0], arguments.String(), "support input");
        CheckEqual(seen.strings[1], arguments.String(), "support output");
        Check(status == (Answer() ? kStatusOk : kStatusSupportFailed), "support status");
        break;
    }
  }
  module->Release();
  return 0;
}
