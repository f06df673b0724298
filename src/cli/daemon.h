// `crvl daemon` and `crvl tasks`: the scheduler's start and availability tasks without
// the tray program, and the task list as text.
#pragma once

#include <cstdint>

namespace crvl {
class ProfileStore;
struct AppState;
}  // namespace crvl

namespace crvl::cli {

// Waits `delaySeconds` (a stop ends the wait), then runs the start and availability
// tasks of the settings until a stop (Ctrl+C, SIGTERM) or until every task has ended,
// printing one line when a run starts and one when it ends. Returns the exit status (0
// after a clean end or stop).
[[nodiscard]] int runDaemon(ProfileStore& settings, AppState& app, uint32_t delaySeconds = 0);

// Prints the task list: number, job, kind, and the delay and repeat, or the start and
// period, in the units the task dialog shows.
[[nodiscard]] int listTasks(ProfileStore& settings);

}  // namespace crvl::cli
