// The scheduler's waits on the system's clock end as soon as the program quits.
#include "schedule/scheduler_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <thread>

#include "schedule/app_state.h"
#include "schedule/scheduler.h"

namespace crvl {
namespace {

constexpr uint32_t kHourMs = 3'600'000;

struct WaitCase {
  const char* name;
  void (*wait)(AppState& state);
};

const WaitCase kWaits[] = {
    {"sleep", [](AppState& s) { scheduler_time::sleep(s, kHourMs); }},
    {"waitUntil", [](AppState& s) { (void)scheduler_time::waitUntil(s, UINT64_MAX, kHourMs); }},
    {"waitPeriods", [](AppState& s) { (void)scheduler_time::waitPeriods(s, 24, kHourMs); }},
};

TEST(SchedulerTimeTest, AQuitEndsEveryWaitAtOnce) {
  for (const WaitCase& c : kWaits) {
    // Shared with the waiter, which is left behind (not joined) should it never wake.
    auto state = std::make_shared<AppState>();
    std::promise<void> ended;
    std::future<void> done = ended.get_future();
    std::thread waiter([state, &c, ended = std::move(ended)]() mutable {
      c.wait(*state);
      ended.set_value();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let it start waiting
    requestQuit(*state);
    const bool woke = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(woke) << c.name << " sat out its step after the quit";
    if (woke) {
      waiter.join();
    } else {
      waiter.detach();
    }
  }
}

}  // namespace
}  // namespace crvl
