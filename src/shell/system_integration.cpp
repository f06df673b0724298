#include "shell/system_integration.h"

#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "schedule/session_start.h"
#include "schedule/timed_task_export.h"

namespace crvl::shell {

void syncStartWithWindows(ProfileStore& settings, uint32_t appOptions) noexcept {
  try {
    (void)updateSessionStart((appOptions & kAppStartWithWindows) != 0, readStartDelay(settings), settings.path());
  } catch (...) {
    // Out of memory: the shortcut stays as it was.
  }
}

void exportTimeControlledTasks(ProfileStore& settings, const AccountPassword& password) noexcept {
  try {
    (void)exportTimedTasks(settings, &password, /*message=*/nullptr);
  } catch (...) {
    // Out of memory: the system's task list stays as it was.
  }
}

}  // namespace crvl::shell
