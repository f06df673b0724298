#include "schedule/scheduler_time.h"

#include <chrono>
#include <mutex>

#include "jobs/program_settings.h"
#include "platform/clock.h"

namespace crvl::scheduler_time {

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
  // quitRequested is set under threadLock and the condition woken (requestQuit), so a
  // quit that comes while this thread waits ends the wait at once.
  try {
    std::unique_lock<std::mutex> guard(state.threadLock);
    state.threadsEnded.wait_for(guard, std::chrono::milliseconds(milliseconds), [&state] { return quitting(state); });
  } catch (...) {
    platform::sleepMilliseconds(milliseconds);  // no lock to be had: a plain sleep
  }
}

uint64_t deadlineAfter(uint64_t start, uint64_t seconds) noexcept {
  if (seconds > (UINT64_MAX - start) / kTicksPerSecond) return UINT64_MAX;
  return start + seconds * kTicksPerSecond;
}

bool waitUntil(AppState& state, uint64_t deadline, uint32_t stepMs) noexcept {
  while (!quitting(state)) {
    if (now(state) >= deadline) return true;
    sleep(state, stepMs);
  }
  return false;
}

bool waitPeriods(AppState& state, uint32_t periods, uint32_t stepMs) noexcept {
  for (uint32_t i = 0; i < periods; ++i) {
    if (quitting(state)) return false;
    sleep(state, stepMs);
  }
  return !quitting(state);
}

ProfileStore& settingsOf(AppState& state) noexcept {
  return state.settings != nullptr ? *state.settings : programSettingsStore();
}

}  // namespace crvl::scheduler_time
