// The scheduler as the shell calls it: starting runs, stopping them, asking whether a
// job runs, starting tasks and names, and ending every thread of a cycle. The program
// binds it to the scheduler (scheduler_link/); a table with an entry left null (a
// shell without runs) makes the commands that need it do nothing.
#pragma once

#include <cstdint>
#include <string_view>

namespace crvl {
struct AppState;
}

namespace crvl::shell {

struct RunControl {
  void (*startScheduledTasks)(AppState& state) = nullptr;
  bool (*startJobByName)(AppState& state, std::u16string_view name) = nullptr;
  void (*startRunThread)(AppState& state, int32_t jobNumber, bool execute) = nullptr;
  void (*stopJob)(AppState& state, int32_t jobNumber) noexcept = nullptr;
  void (*stopAll)(AppState& state) noexcept = nullptr;
  bool (*jobIsRunning)(const AppState& state, int32_t jobNumber) noexcept = nullptr;
  void (*quitAndWait)(AppState& state) noexcept = nullptr;
};

// The scheduler of this build.
[[nodiscard]] const RunControl& schedulerRunControl() noexcept;

}  // namespace crvl::shell
