// What the shell asks of the system integration: the start-with-Windows shortcut and
// the export of time-controlled tasks to the system's task scheduler. Until that work
// is built, both leave the system as it is.
#pragma once

#include <cstdint>

namespace crvl {
class ProfileStore;
}

namespace crvl::shell {

// Brings the Startup-folder shortcut in line with bit 0 of `appOptions` (present or
// not) and the start delay "Delay" of the settings.
void syncStartWithWindows(ProfileStore& settings, uint32_t appOptions);

// Registers the time-controlled tasks of the task list with the system's scheduler
// (after the task list was confirmed).
void exportTimeControlledTasks(ProfileStore& settings);

}  // namespace crvl::shell
