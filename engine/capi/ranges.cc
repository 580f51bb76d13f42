// The merge in key ranges as steps that a cluster's tasks take apart: split
// keys from samples, one range merged into its part, the parts' index; and
// the files that make up a pair-count file.
#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/capi/handles.h"
#include "engine/files/pair_parts.h"
#include "engine/merge/key_ranges.h"
#include "engine/merge/partition.h"

using namespace ulo::engine;
using ulo::engine::capi::Copy;
using ulo::engine::capi::Fail;

namespace {

namespace fs = std::filesystem;

// False (with the failure stored) when the array or one of its paths is null.
bool TakePaths(const char* const* paths, size_t count, std::vector<std::string>* taken,
               char** errptr) {
  if (paths == nullptr && count > 0) return Fail(errptr, "no paths were given");
  for (size_t i = 0; i < count; ++i) {
    if (paths[i] == nullptr) return Fail(errptr, "path " + std::to_string(i) + " is missing");
    taken->emplace_back(paths[i]);
  }
  return true;
}

// The split keys of ulo_split_keys's text: one a line.
std::vector<std::string> ParseKeys(std::string_view text) {
  std::vector<std::string> keys;
  while (!text.empty()) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos) end = text.size();
    if (end > 0) keys.emplace_back(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return keys;
}

}  // namespace

extern "C" {

char* ulo_split_keys(const char* const* paths, size_t path_count, int32_t ranges, char** errptr) {
  std::vector<std::string> inputs;
  if (!TakePaths(paths, path_count, &inputs, errptr)) return nullptr;
  std::vector<std::string> keys;
  std::string error;
  if (!SampleSplitKeys(inputs, ranges > 0 ? ranges : 1, &keys, &error)) {
    Fail(errptr, error);
    return nullptr;
  }
  std::string text;
  for (const std::string& key : keys)
    text += key + "\n";
  return Copy(text);
}

void ulo_merge_range(const ulo_exports_t* exports, const char* const* paths, size_t path_count,
                     const char* keys, int32_t range, const char* dir, int32_t sorted,
                     char** errptr) {
  std::vector<std::string> inputs;
  if (exports == nullptr) {
    Fail(errptr, "no exports object was given");
    return;
  }
  if (dir == nullptr || range < 0) {
    Fail(errptr, "no parts directory or range was given");
    return;
  }
  if (!TakePaths(paths, path_count, &inputs, errptr)) return;
  Session session(exports->exports);
  std::string error;
  if (!session.Open(&error)) {
    Fail(errptr, error);
    return;
  }
  std::string out = (fs::path(dir) / PartName(static_cast<size_t>(range))).string();
  Fail(errptr, MergeKeyRange(session, inputs, ParseKeys(keys == nullptr ? "" : keys),
                             static_cast<size_t>(range), out, sorted != 0));
}

void ulo_write_parts_index(const char* dir, const char* keys, char** errptr) {
  if (dir == nullptr) {
    Fail(errptr, "no parts directory was given");
    return;
  }
  std::vector<std::string> split = ParseKeys(keys == nullptr ? "" : keys);
  for (size_t k = 0; k <= split.size(); ++k) {
    std::error_code code;
    if (!fs::is_regular_file(fs::path(dir) / PartName(k), code)) {
      Fail(errptr,
           "cannot index " + std::string(dir) + ": its part " + PartName(k) + " is missing");
      return;
    }
  }
  std::string error;
  if (!WritePartsIndex(dir, split.size() + 1, split, &error)) Fail(errptr, error);
}

char* ulo_pair_file_parts(const char* path, char** errptr) {
  if (path == nullptr) {
    Fail(errptr, "no path was given");
    return nullptr;
  }
  std::vector<std::string> files;
  std::string error;
  if (!PairFileParts(path, &files, &error)) {
    Fail(errptr, error);
    return nullptr;
  }
  std::string text;
  for (const std::string& file : files)
    text += file + "\n";
  return Copy(text);
}

}  // extern "C"
