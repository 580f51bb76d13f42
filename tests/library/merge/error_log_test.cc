#include "merge/error_log.h"

#include <gtest/gtest.h>

#include <string>

#include "merge/file_merger.h"
#include "platform/env.h"
#include "support/test_support.h"

namespace ulo::merge {
namespace {

// The line end as it lands in the file: text streams on Windows write the
// LF of "\r\n" as CR LF again.
const std::string kEntryEnd = platform::kTextModeWritesCrLf ? "\r\r\n" : "\r\n";

class FixedClockEnv : public platform::EnvWrapper {
 public:
  FixedClockEnv() : EnvWrapper(platform::Env::Default()) {}
  platform::LocalTime Now() override { return {2026, 2, 1, 9, 5, 3}; }
};

// The merger's log below shows the rest of an entry's form.
TEST(ErrorLogTest, YearIsZeroPadded) {
  EXPECT_EQ(FormatLogEntry({999, 12, 31, 23, 59, 60}, ""), "0999-12-31  23:59:60  \r\n");
}

TEST(ErrorLogTest, MergerAppendsTimestampedEntriesBesideTheOutput) {
  testing::TempDir dir;
  FixedClockEnv clock;
  platform::ScopedEnvOverride use(&clock);
  FileMerger merger;
  // A source that is no directory is refused before anything is logged,
  // but it makes the merger note its output path.
  ASSERT_EQ(merger.MergeFiles(dir.Path("missing").c_str(), dir.Path("merged.txt").c_str()),
            kNotADirectory);
  EXPECT_FALSE(testing::FileExists(dir.Path("merged.txt_err.log")));

  std::string longPath = dir.Path(std::string(1200, 'q') + "%s%n");
  merger.LogError(std::string(kOpenFailedPrefix) + longPath);
  merger.LogError(kExceptionMessage);
  std::string log = testing::ReadFile(dir.Path("merged.txt_err.log"));
  std::string stamp = "2026-02-01  09:05:03  ";
  std::string first = stamp + std::string(kOpenFailedPrefix) + longPath;
  first.resize(kMaxLogEntry);
  EXPECT_EQ(log, first + kEntryEnd + stamp + "Exception occur!" + kEntryEnd);

  // A path that asks for formatting is written as it is.
  testing::RemoveAll(dir.Path("merged.txt_err.log"));
  merger.LogError(std::string(kOpenFailedPrefix) + "C:\\100%s\\%d.txt");
  EXPECT_EQ(testing::ReadFile(dir.Path("merged.txt_err.log")),
            stamp + "\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC\xA3\xA1" +
                "C:\\100%s\\%d.txt" + kEntryEnd);
}

}  // namespace
}  // namespace ulo::merge
