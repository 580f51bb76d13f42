// What kind of file a path holds, told from its first line, so that a
// command given the wrong file refuses it in a sentence instead of reading
// records as pairs.
#ifndef ULO_ENGINE_FILES_FILE_KIND_H_
#define ULO_ENGINE_FILES_FILE_KIND_H_

#include <string>
#include <string_view>

namespace ulo::engine {

enum class FileKind {
  kEmpty,    // no line at all: any kind
  kPairs,    // word TAB word TAB count (a parts directory too)
  kSupport,  // the library's support records
  kTopN,     // word TAB word TAB confidence TAB support (two decimals each)
  kRanked,   // word TAB other TAB score TAB count TAB after|before
  kUnknown,  // none of these (or unreadable: the command's own check says why)
};

FileKind KindOfLine(std::string_view line);
FileKind KindOfFile(const std::string& path);

// "a pair-count file", "a support-record file (ulo support)", ...
std::string KindName(FileKind kind);

// Empty when `path` is of kind `wanted` (or empty, or of no kind known here);
// else the sentence naming the file, what it is and what was wanted.
std::string WrongKindProblem(const std::string& path, FileKind wanted);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_FILES_FILE_KIND_H_
