// Finding the lines of one first word in text sorted by its first field
// (byte order), by binary search: in a file, reading a few blocks, or in
// bytes held in memory.
#ifndef ULO_ENGINE_QUERY_SORTED_LINES_H_
#define ULO_ENGINE_QUERY_SORTED_LINES_H_

#include <string>
#include <string_view>
#include <vector>

namespace ulo::engine {

// The lines of `text` whose first TAB-ended field is `key`, their line ends
// removed. `text` is sorted by that field.
std::vector<std::string_view> KeyLinesInText(std::string_view text, std::string_view key);

// The same from the file `path`, or from the one part of a parts directory
// whose key range holds `key`. False with a sentence in `*error` when the
// file cannot be read.
bool KeyLinesInFile(const std::string& path, std::string_view key, std::vector<std::string>* lines,
                    std::string* error);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_QUERY_SORTED_LINES_H_
