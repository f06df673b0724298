// The scheduler's view of time and of the state's settings: the injectable clock and
// sleeper of the application state, and waits that end as soon as the program quits.
// Shared by the files of the scheduler only.
#pragma once

#include <atomic>
#include <cstdint>

#include "schedule/app_state.h"

namespace crvl::scheduler_time {

// FILETIME ticks per second.
inline constexpr uint64_t kTicksPerSecond = 10'000'000;

// The current time (FILETIME ticks, UTC) of the state's clock.
[[nodiscard]] uint64_t now(AppState& state) noexcept;
// Sleeps on the state's sleeper; without one, waits on the state's quit signal, so that
// a quit (requestQuit) or a withdrawal of the thread's task ends the sleep at once.
void sleep(AppState& state, uint32_t milliseconds) noexcept;
[[nodiscard]] inline bool quitting(const AppState& state) noexcept { return state.quitRequested.load() != 0; }

// The task the calling thread works for may be withdrawn while the program goes on (its
// settings changed: see TaskSchedule); `flag` (null: none) is read by taskEnding on this
// thread only, and must outlive the thread's use of it.
void setThreadTaskWithdrawal(const std::atomic<bool>* flag) noexcept;
// Whether the program quits or the calling thread's task was withdrawn. The waits below
// end on either.
[[nodiscard]] bool taskEnding(const AppState& state) noexcept;

// `start` plus `seconds`, saturating instead of wrapping.
[[nodiscard]] uint64_t deadlineAfter(uint64_t start, uint64_t seconds) noexcept;

// Sleeps in steps of `stepMs` until the clock reaches `deadline`. Returns false when
// the program began to quit or the thread's task was withdrawn meanwhile (at once on the
// system's clock; at the latest one step after it did on a clock of the state's own).
[[nodiscard]] bool waitUntil(AppState& state, uint64_t deadline, uint32_t stepMs) noexcept;

// Sleeps `periods` steps of `stepMs`, checking before each step. Returns false on quit
// or withdrawal.
[[nodiscard]] bool waitPeriods(AppState& state, uint32_t periods, uint32_t stepMs) noexcept;

// The settings the state reads from.
[[nodiscard]] ProfileStore& settingsOf(AppState& state) noexcept;

}  // namespace crvl::scheduler_time
