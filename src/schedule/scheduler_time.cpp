#include "schedule/scheduler_time.h"

#include <chrono>
#include <mutex>

#include "jobs/program_settings.h"
#include "platform/clock.h"

namespace crvl::scheduler_time {
namespace {
thread_local const std::atomic<bool>* t_withdrawn = nullptr;
}  // namespace

void setThreadTaskWithdrawal(const std::atomic<bool>* flag) noexcept { t_withdrawn = flag; }

bool taskEnding(const AppState& state) noexcept {
  return quitting(state) || (t_withdrawn != nullptr && t_withdrawn->load());
}

uint64_t now(AppState& state) noexcept {
  const SchedulerClock& c = state.clock;
  return c.now != nullptr ? c.now(c.context) : platform::currentFileTime();
}

void sleep(AppState& state, uint32_t milliseconds) noexcept {
  const SchedulerClock& c = state.clock;
  if (c.sleep != nullptr) {
    c.sleep(c.context, milliseconds);
    return;
  }
  // quitRequested and withdrawals are set under threadLock and the condition woken
  // (requestQuit, TaskSchedule), so either ends a wait of this thread at once.
  try {
    std::unique_lock<std::mutex> guard(state.threadLock);
    state.threadsEnded.wait_for(guard, std::chrono::milliseconds(milliseconds), [&state] { return taskEnding(state); });
  } catch (...) {
    platform::sleepMilliseconds(milliseconds);  // no lock to be had: a plain sleep
  }
}

uint64_t deadlineAfter(uint64_t start, uint64_t seconds) noexcept {
  if (seconds > (UINT64_MAX - start) / kTicksPerSecond) return UINT64_MAX;
  return start + seconds * kTicksPerSecond;
}

bool waitUntil(AppState& state, uint64_t deadline, uint32_t stepMs) noexcept {
  while (!taskEnding(state)) {
    if (now(state) >= deadline) return true;
    sleep(state, stepMs);
  }
  return false;
}

bool waitPeriods(AppState& state, uint32_t periods, uint32_t stepMs) noexcept {
  for (uint32_t i = 0; i < periods; ++i) {
    if (taskEnding(state)) return false;
    sleep(state, stepMs);
  }
  return !taskEnding(state);
}

ProfileStore& settingsOf(AppState& state) noexcept {
  return state.settings != nullptr ? *state.settings : programSettingsStore();
}

}  // namespace crvl::scheduler_time
