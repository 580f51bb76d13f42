#include "engine/session/session.h"

#include <type_traits>
#include <utility>

namespace ulo::engine {

std::string DescribeStatus(int32_t status) {
  switch (status) {
    case ULO_STATUS_OK:
      return "success";
    case ULO_STATUS_NO_SIGNATURE:
      return "the command buffer lacks its signature";
    case ULO_STATUS_UNKNOWN_COMMAND:
      return "the library knows no such command";
    case ULO_STATUS_BEGIN_REFUSED:
      return "the library refused to open a counting run in that directory";
    case ULO_STATUS_PAIR_REFUSED:
      return "no counting run is open, or a word was empty";
    case ULO_STATUS_END_FAILED:
      return "the last spill file could not be written";
    case ULO_STATUS_MERGE_FAILED:
      return "the merge reported an error";
    case ULO_STATUS_FILTER_FAILED:
      return "the input could not be read, the output could not be written, or they are the "
             "same file";
    case ULO_STATUS_SUPPORT_FAILED:
      return "the input could not be read, the output could not be written, or they are the "
             "same file";
    case ULO_STATUS_BUSY_TIMEOUT:
      return "another counting run stayed open for the whole wait";
    default:
      return "unknown status";
  }
}

std::string DescribeMergeCode(int32_t code) {
  switch (code) {
    case 0:
      return "success";
    case -1:
      return "an intermediate file could not be created or written, or the merge ran out of "
             "memory";
    case -2:
      return "the output file could not be created or written";
    case -3:
      return "the merge's list file could not be opened";
    case -4:
      return "an input file could not be opened";
    case -5:
      return "the only input file vanished during the merge";
    case -6:
      return "no file was found under the input directory";
    case -7:
      return "the work directory merge_temp could not be created beside the input directory";
    case -8:
      return "the input directory does not exist, is not a directory, or is itself named "
             "merge_temp";
    case -9:
      return "the input directory path consists of separators only";
    case -10:
      return "an argument is empty";
    default:
      return "unknown merge code";
  }
}

CommandBuffer::CommandBuffer(std::string_view name) : buffer(9, '\0') {
  buffer[4] = 'r';
  buffer[5] = '!';
  buffer.append(name);
  buffer.push_back('\0');
}

CommandBuffer& CommandBuffer::String(std::string_view text) {
  buffer.append(text);
  buffer.push_back('\0');
  return *this;
}

CommandBuffer& CommandBuffer::Int32(int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8)
    buffer.push_back(static_cast<char>(bits >> shift));
  return *this;
}

CommandBuffer& CommandBuffer::Flag(bool value) {
  buffer.push_back(value ? 1 : 0);
  return *this;
}

void CommandBuffer::ResetPairAdd(std::string_view word1, std::string_view word2, int32_t count,
                                 bool oneWay) {
  static constexpr size_t kHeader = 9 + sizeof("ULO_Stat_AssociatedFreq");
  buffer.resize(kHeader);
  String(word1).String(word2).Int32(count).Flag(oneWay);
}

Session::~Session() {
  if (module != nullptr) module->Release();
}

bool Session::Open(std::string* error) {
  if (std::string missing = exports.Missing(); !missing.empty()) {
    *error = "the library has no export named " + missing;
    return false;
  }
  if (exports.createInstance(0, &module) != 0 || module == nullptr) {
    *error = "the library did not hand out its extension object";
    return false;
  }
  return true;
}

int32_t Session::Execute(const CommandBuffer& command) {
  int32_t value = 0;
  return module->Execute(command.bytes().data(), 0, &value, 0);
}

int32_t Session::Begin(const std::string& workDir) {
  if (direct) return exports.begin(workDir.c_str()) == 1 ? 0 : ULO_STATUS_BEGIN_REFUSED;
  return Execute(CommandBuffer("ULO_Stat_AssociatedFreq_Begin").String(workDir));
}

int32_t Session::AddPair(std::string_view word1View, std::string_view word2View, int32_t count,
                         bool oneWay) {
  if (direct) {
    word1.assign(word1View);
    word2.assign(word2View);
    return exports.addPair(word1.c_str(), word2.c_str(), count, oneWay ? 1 : 0) == 1
               ? 0
               : ULO_STATUS_PAIR_REFUSED;
  }
  pairAdd.ResetPairAdd(word1View, word2View, count, oneWay);
  return Execute(pairAdd);
}

int32_t Session::End() {
  if (direct) return exports.end() != 0 ? 0 : ULO_STATUS_END_FAILED;
  return Execute(CommandBuffer("ULO_Stat_AssociatedFreq_End"));
}

int32_t Session::Merge(const std::string& inputDir, const std::string& output) {
  return Execute(CommandBuffer("ULO_MulMergeFile").String(inputDir).String(output));
}

int32_t Session::Filter(const std::string& input, const std::string& output, int32_t threshold) {
  if (direct) {
    return exports.filtrate(input.c_str(), output.c_str(), threshold) == 1
               ? 0
               : ULO_STATUS_FILTER_FAILED;
  }
  return Execute(CommandBuffer("ULO_Filtrate").String(input).String(output).Int32(threshold));
}

int32_t Session::Support(const std::string& input, const std::string& output) {
  if (direct)
    return exports.getSupport(input.c_str(), output.c_str()) == 1 ? 0 : ULO_STATUS_SUPPORT_FAILED;
  return Execute(CommandBuffer("ULO_GetWordSupportRec").String(input).String(output));
}

int32_t Session::MergeDirect(const std::string& inputDir, const std::string& output) {
  return exports.mulMergeFile(inputDir.c_str(), output.c_str());
}

bool Session::TopNDirect(const std::string& input, const std::string& output, int32_t n) {
  return exports.getTopN(input.c_str(), output.c_str(), n) == 1;
}

namespace {

// The eight exports by name, with where each goes: the one list of them.
template <typename Table, typename Visit>
bool ForEachExport(Table& table, Visit visit) {
  return visit("ULO_Filtrate", table.filtrate) &&
         visit("ULO_GetTopNWordSupportRec", table.getTopN) &&
         visit("ULO_GetWordSupportRec", table.getSupport) &&
         visit("ULO_MulMergeFile", table.mulMergeFile) &&
         visit("ULO_Stat_AssociatedFreq", table.addPair) &&
         visit("ULO_Stat_AssociatedFreq_Begin", table.begin) &&
         visit("ULO_Stat_AssociatedFreq_End", table.end) &&
         visit("VornModule_CreateInstance", table.createInstance);
}

}  // namespace

std::string Exports::Missing() const {
  std::string missing;
  ForEachExport(*this, [&](const char* name, const auto& slot) {
    if (slot == nullptr) missing = name;
    return missing.empty();
  });
  return missing;
}

bool Exports::Set(std::string_view name, void* address) {
  bool found = false;
  ForEachExport(*this, [&](const char* known, auto& slot) {
    if (name != known) return true;
    // The exports are functions; their addresses arrive as data pointers.
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
    found = true;
    return false;
  });
  return found;
}

}  // namespace ulo::engine
