// Which settings file the items a settings file hands to the system belong to: its
// timers (systemd units, Task Scheduler items) and its session-start entry carry a tag
// of the settings file in their names, so that exporting one settings file never
// removes or reuses the items of another.
#pragma once

#include <string>
#include <string_view>

namespace crvl {

// Empty for the program's own settings files (the per-user file and the one in the
// program's folder), whose items keep the names of earlier versions; else eight
// lower-case hex digits of a hash of the settings file's canonical path, so that every
// spelling of one file gives one tag.
[[nodiscard]] std::u16string settingsTag(std::u16string_view settingsPath);

}  // namespace crvl
