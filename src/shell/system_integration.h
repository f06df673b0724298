// What the shell asks of the system integration: the start-with-Windows shortcut and
// the export of time-controlled tasks to the system's task scheduler. Neither shows a
// failure: a shortcut that cannot be written leaves "Start with Windows" without
// effect, and a task that cannot be registered stays unregistered.
#pragma once

#include <cstdint>

namespace crvl {
class ProfileStore;
struct AccountPassword;
}

namespace crvl::shell {

// Brings the Startup-folder shortcut in line with bit 0 of `appOptions` (made when
// missing, an existing one left as it is; removed when the bit is clear) and the start
// delay "Delay" of the settings.
void syncStartWithWindows(ProfileStore& settings, uint32_t appOptions) noexcept;

// Registers the time-controlled tasks of the task list with the system's scheduler
// (after the task list was confirmed). `password` gives the password of the account
// the tasks run as; without one nothing is registered.
void exportTimeControlledTasks(ProfileStore& settings, const AccountPassword& password) noexcept;

}  // namespace crvl::shell
