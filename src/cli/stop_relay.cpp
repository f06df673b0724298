#include "cli/stop_relay.h"

#include "platform/clock.h"
#include "platform/console.h"

namespace crvl::cli {

namespace {
constexpr uint32_t kWatchStepMs = 50;
}  // namespace

StopRelay::StopRelay(std::atomic<int32_t>& word, int exitStatus, std::function<void()> onStop)
    : word_(word), onStop_(std::move(onStop)) {
  platform::installStopHandler(&word_, exitStatus);
  watcher_ = std::thread([this] {
    while (!done_.load()) {
      if (word_.load() != 0) {
        onStop_();
        return;
      }
      platform::sleepMilliseconds(kWatchStepMs);
    }
  });
}

StopRelay::~StopRelay() {
  done_.store(true);
  if (watcher_.joinable()) watcher_.join();
}

}  // namespace crvl::cli
