#include "merge/error_log.h"

#include <cstdio>

#include "text/text_writer.h"

namespace ulo::merge {

std::string ErrorLogPath(std::string_view outputPath) {
  std::string path(outputPath);
  path.append("_err.log");
  return path;
}

std::string FormatLogEntry(const platform::LocalTime& time, std::string_view message) {
  char stamp[96];
  int length = std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d  %02d:%02d:%02d  ", time.year,
                             time.month, time.day, time.hour, time.minute, time.second);
  std::string entry(stamp, length > 0 ? static_cast<size_t>(length) : 0);
  if (entry.size() > kMaxLogEntry) entry.resize(kMaxLogEntry);
  entry.append(message.substr(0, kMaxLogEntry - entry.size()));
  entry.append("\r\n");
  return entry;
}

bool AppendTextToFile(const std::string& path, std::string_view text) {
  int error = 0;
  auto out = text::TextWriter::Open(path, true, &error, 4096);
  if (!out) return false;
  out->Append(text);
  return out->Close();
}

}  // namespace ulo::merge
