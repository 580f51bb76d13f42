#include "host/report/progress.h"

#include <cstdio>

namespace ulo::host {

std::string Grouped(uint64_t value) {
  std::string digits = std::to_string(value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string HumanBytes(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

Progress::Progress(std::string operation, bool enabled)
    : operation(std::move(operation)),
      enabled(enabled),
      start(std::chrono::steady_clock::now()),
      lastShown(start) {}

Progress::~Progress() {
  Stop();
}

double Progress::ElapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Progress::Show(const std::string& text) {
  std::fprintf(stderr, "\r\033[K%s: %s", operation.c_str(), text.c_str());
  std::fflush(stderr);
  shown = true;
}

bool Progress::Counting(uint64_t lines, uint64_t pairs) {
  if (!enabled) return true;
  auto now = std::chrono::steady_clock::now();
  if (now - lastShown < std::chrono::milliseconds(250)) return true;
  lastShown = now;
  double elapsed = ElapsedSeconds();
  char text[160];
  std::snprintf(text, sizeof text, "%s lines, %s pairs, %s pairs/s, %.1f s", Grouped(lines).c_str(),
                Grouped(pairs).c_str(),
                Grouped(static_cast<uint64_t>(elapsed > 0 ? pairs / elapsed : 0)).c_str(), elapsed);
  Show(text);
  return true;
}

void Progress::PollBytes(uint64_t inputBytes, std::function<uint64_t()> poll) {
  if (!enabled) return;
  polling = true;
  poller = std::thread([this, inputBytes, poll = std::move(poll)] {
    while (polling) {
      for (int i = 0; i < 5 && polling; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!polling) break;
      char text[160];
      std::snprintf(text, sizeof text, "%s written, input %s, %.1f s", HumanBytes(poll()).c_str(),
                    HumanBytes(inputBytes).c_str(), ElapsedSeconds());
      Show(text);
    }
  });
}

void Progress::Stop() {
  polling = false;
  if (poller.joinable()) poller.join();
  if (shown) {
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown = false;
  }
}

}  // namespace ulo::host
