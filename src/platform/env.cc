// Platform-independent parts of the environment layer.
#include "platform/env.h"

#include <atomic>

namespace ulo::platform {
namespace {

std::atomic<Env*> currentEnv{nullptr};

}  // namespace

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string path;
  path.reserve(dir.size() + 1 + name.size());
  path.append(dir);
  path.push_back(kPathSeparator);
  path.append(name);
  return path;
}

Env* Env::Current() {
  Env* env = currentEnv.load(std::memory_order_acquire);
  return env != nullptr ? env : Default();
}

ScopedEnvOverride::ScopedEnvOverride(Env* env)
    : previous(currentEnv.exchange(env, std::memory_order_acq_rel)) {}

ScopedEnvOverride::~ScopedEnvOverride() {
  currentEnv.store(previous, std::memory_order_release);
}

}  // namespace ulo::platform
