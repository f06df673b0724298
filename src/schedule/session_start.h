// Starting with the user's session ("Start with Windows"): a Startup-folder shortcut to
// the tray program with "Delay=" and the start-up delay (Windows), or an XDG autostart
// entry that runs `crvl daemon` with the settings in use and the delay (POSIX).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace crvl {

// The program that is started with the session and by the system's scheduler: the
// tray program CRVL.exe beside this program (Windows), this program itself (POSIX,
// where the console program does that work).
[[nodiscard]] std::u16string scheduledProgramPath();

// The arguments the entry starts the program with. Windows: "Delay=" and the seconds,
// none for a delay of 0. POSIX: "--settings" FILE "daemon", then "--delay" and the
// seconds when not 0.
[[nodiscard]] std::vector<std::u16string> sessionStartArguments(uint32_t delaySeconds,
                                                                std::u16string_view settingsPath);

// The entry of the settings file `settingsPath`: each settings file has one of its own
// (see settings_tag.h), so that switching one off never removes another's.
[[nodiscard]] std::u16string sessionStartEntryPath(std::u16string_view settingsPath);

// Switches the settings file's entry on (made when missing, an existing one left as it
// is) or off (removed). Returns 0 or what kept the entry from being written or removed
// (123: the settings path cannot be written exactly into the entry).
[[nodiscard]] ErrorCode updateSessionStart(bool on, uint32_t delaySeconds, std::u16string_view settingsPath);

}  // namespace crvl
