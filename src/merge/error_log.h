// The merge's error log: timestamped entries appended to a text file beside
// the output file.
#ifndef ULO_MERGE_ERROR_LOG_H_
#define ULO_MERGE_ERROR_LOG_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace ulo::merge {

// Where the merge's pieces hand a line for the log.
using LogLine = std::function<void(std::string_view)>;

// The timestamp and the message together hold at most this many bytes.
constexpr size_t kMaxLogEntry = 1000;

// The log of the merge writing `outputPath`: that path followed by "_err.log".
std::string ErrorLogPath(std::string_view outputPath);

// One log entry: "YYYY-MM-DD  hh:mm:ss  " and the message, cut so that both
// hold at most kMaxLogEntry bytes, then "\r\n". The message is taken as it
// is: a "%" in it is an ordinary byte.
std::string FormatLogEntry(const platform::LocalTime& time, std::string_view message);

// Appends `text` to the file at `path` through a text stream, creating the
// file if needed, and closes it again. False when the file cannot be opened
// or the text not written whole.
bool AppendTextToFile(const std::string& path, std::string_view text);

// The GB2312 messages of the log.
// "删除文件失败！" (deleting the file failed) before the path, then
// "，错误描述：" (error description) before the system's text, then a blank.
inline constexpr std::string_view kDeleteFailedPrefix =
    "\xC9\xBE\xB3\xFD\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC\xA3\xA1";
inline constexpr std::string_view kDeleteFailedReason =
    "\xA3\xAC\xB4\xED\xCE\xF3\xC3\xE8\xCA\xF6\xA3\xBA";
// "打开文件失败！" (opening the file failed) before the path.
inline constexpr std::string_view kOpenFailedPrefix =
    "\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC\xA3\xA1";
inline constexpr std::string_view kExceptionMessage = "Exception occur!";
// Before the path of a name the list file cannot hold, its CR and LF written
// as "\r" and "\n".
inline constexpr std::string_view kLineEndInNamePrefix = "A name with CR or LF cannot be listed: ";

}  // namespace ulo::merge

#endif  // ULO_MERGE_ERROR_LOG_H_
