#include "cli/stop_relay.h"

#include <chrono>

#include "platform/console.h"

namespace crvl::cli {

namespace {
// The stop handler may only set a word, so the watcher looks at it in steps; the end of
// the relay wakes it at once, so a finished run never waits for a step at exit.
constexpr auto kWatchStep = std::chrono::milliseconds(50);
}  // namespace

StopRelay::StopRelay(std::atomic<int32_t>& word, int exitStatus, std::function<void()> onStop)
    : word_(word), onStop_(std::move(onStop)) {
  platform::installStopHandler(&word_, exitStatus);
  watcher_ = std::thread([this] {
    std::unique_lock<std::mutex> guard(mutex_);
    while (!done_) {
      if (word_.load() != 0) {
        guard.unlock();
        onStop_();
        return;
      }
      wake_.wait_for(guard, kWatchStep);
    }
  });
}

StopRelay::~StopRelay() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

}  // namespace crvl::cli
