// Progress lines on standard error for long work, shown only on a terminal.
#ifndef ULO_HOST_REPORT_PROGRESS_H_
#define ULO_HOST_REPORT_PROGRESS_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "engine/report/progress.h"

namespace ulo::host {

class Progress : public engine::ProgressReport {
 public:
  // `enabled` is usually: standard error is a terminal and --quiet is absent.
  Progress(std::string operation, bool enabled);
  ~Progress() override;

  bool Counting(uint64_t lines, uint64_t pairs) override;
  // Starts a thread that reports `poll()` (bytes written so far) against
  // `inputBytes` twice a second until Stop().
  void PollBytes(uint64_t inputBytes, std::function<uint64_t()> poll) override;
  // Ends the progress line.
  void Stop() override;

  double ElapsedSeconds() const;

 private:
  void Show(const std::string& text);

  std::string operation;
  bool enabled;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point lastShown;
  bool shown = false;
  std::atomic<bool> polling{false};
  std::thread poller;
};

// 1234567 -> "1,234,567".
std::string Grouped(uint64_t value);
// A byte count for people: "512 B", "3.4 KB", "12.0 MB", "1.2 GB".
std::string HumanBytes(uint64_t bytes);

}  // namespace ulo::host

#endif  // ULO_HOST_REPORT_PROGRESS_H_
