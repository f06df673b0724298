#include "cli/stop_relay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace crvl::cli {
namespace {

// The relay's watcher is what turns the stop handler's word into a call where locks are
// allowed: a word set while it watches must reach onStop once, on the watcher's thread,
// and a relay that ends without a stop must never call it.
TEST(StopRelayTest, AStopWordReachesOnStopOnceOnAnotherThread) {
  std::atomic<int32_t> word{0};
  std::atomic<int> calls{0};
  std::thread::id caller;
  {
    StopRelay relay(word, 3, [&] {
      caller = std::this_thread::get_id();
      calls.fetch_add(1);
    });
    word.store(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (calls.load() == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  EXPECT_EQ(calls.load(), 1);
  EXPECT_NE(caller, std::this_thread::get_id());
}

TEST(StopRelayTest, EndingWithoutAStopNeverCallsOnStop) {
  std::atomic<int32_t> word{0};
  std::atomic<int> calls{0};
  for (int round = 0; round < 20; ++round) {
    StopRelay relay(word, 3, [&] { calls.fetch_add(1); });
  }
  EXPECT_EQ(calls.load(), 0);
}

}  // namespace
}  // namespace crvl::cli
