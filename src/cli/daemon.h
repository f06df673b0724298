// `crvl daemon`: the scheduler's start and availability tasks without the tray program.
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

}  // namespace crvl::cli
