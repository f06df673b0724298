// `crvl daemon`: the scheduler's start and availability tasks without the tray program.
#pragma once

#include <cstdint>

namespace crvl {
class ProfileStore;
struct AppState;
}  // namespace crvl

namespace crvl::cli {

// Waits `delaySeconds` (a stop ends the wait), then runs the start and availability
// tasks of the settings until a stop (Ctrl+C, SIGTERM), also while there are none. The
// settings are read again when their file changes and on SIGHUP (POSIX): new tasks
// start, removed ones end, unchanged ones go on. Prints one line when a run starts and
// one when it ends; tells systemd when it is ready (Type=notify). Returns the exit status
// (0 after a clean stop).
[[nodiscard]] int runDaemon(ProfileStore& settings, AppState& app, uint32_t delaySeconds = 0);

}  // namespace crvl::cli
