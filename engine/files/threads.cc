#include "engine/files/threads.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace ulo::engine {

void ForEachInThreads(size_t count, int threads, const std::function<void(size_t)>& work) {
  std::atomic<size_t> next{0};
  auto take = [&] {
    for (size_t i; (i = next++) < count;)
      work(i);
  };
  std::vector<std::thread> helpers;
  for (int t = 1; t < std::min<int>(threads, static_cast<int>(count)); ++t)
    helpers.emplace_back(take);
  take();
  for (auto& helper : helpers)
    helper.join();
}

}  // namespace ulo::engine
