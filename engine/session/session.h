// The library's operations as the host drives them: through the extension
// object's command buffer where a command exists, else through the export.
#ifndef ULO_ENGINE_COMMANDS_H_
#define ULO_ENGINE_COMMANDS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/session/exports.h"
#include "vorn_ulo.h"

namespace ulo::engine {

// A command status in words.
std::string DescribeStatus(int32_t status);
// A merge code (-1 to -10) in words.
std::string DescribeMergeCode(int32_t code);

// Builds command buffers: 4 header bytes, "r!" and its NUL at offset 4, two
// more header bytes, the command name at offset 9, then the argument block.
class CommandBuffer {
 public:
  explicit CommandBuffer(std::string_view name);
  CommandBuffer& String(std::string_view text);
  CommandBuffer& Int32(int32_t value);
  CommandBuffer& Flag(bool value);
  const std::string& bytes() const { return buffer; }

  // Rewrites a pair-add command in place, reusing the allocation.
  void ResetPairAdd(std::string_view word1, std::string_view word2, int32_t count, bool oneWay);

 private:
  std::string buffer;
};

// One extension object of the loaded library. With `direct`, the operations
// go through the exports instead, answering the commands' statuses all the
// same. The merge and the top-N ranking always go through their exports: the
// merge's command hides its code, and the ranking has no command.
class Session {
 public:
  explicit Session(const Exports& exports, bool direct = false)
      : exports(exports), direct(direct) {}
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Creates the extension object (and resolves the exports the host calls
  // directly); false with a sentence in `*error`.
  bool Open(std::string* error);

  // The exports this session reaches the library through.
  const Exports& library() const { return exports; }

  int32_t Execute(const CommandBuffer& command);
  int32_t Begin(const std::string& workDir);
  int32_t AddPair(std::string_view word1, std::string_view word2, int32_t count, bool oneWay);
  int32_t End();
  int32_t Merge(const std::string& inputDir, const std::string& output);
  int32_t Filter(const std::string& input, const std::string& output, int32_t threshold);
  int32_t Support(const std::string& input, const std::string& output);

  // The merge's own code (0, or -1 to -10).
  int32_t MergeDirect(const std::string& inputDir, const std::string& output);
  bool TopNDirect(const std::string& input, const std::string& output, int32_t n);

 private:
  const Exports& exports;
  bool direct;
  ExtensionModule* module = nullptr;
  CommandBuffer pairAdd{"ULO_Stat_AssociatedFreq"};
  std::string word1, word2;  // NUL-terminated copies for the direct pair-add
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_COMMANDS_H_
