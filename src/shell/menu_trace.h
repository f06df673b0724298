// A plain-text account of a menu as the system holds it, for checking what a person
// is offered without reading pixels. Written only when the environment variable
// CRVL_MENU_TRACE names a file: each opened tray menu is appended to it, one line per
// item, indented by submenu depth: the text, "[id]", and " (grey)" for greyed items;
// separators are "---"; each menu ends with a line "===". A command that the window
// drops because the command-enable table disables it adds a line "dropped ID"; a tray
// notice adds a line "notice TEXT".
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace crvl::shell {

// The account of `menu` and its submenus (as described above), in UTF-8.
[[nodiscard]] std::string describeMenu(HMENU menu);

// Appends describeMenu(menu) to the trace file, when one is named.
void traceMenu(HMENU menu) noexcept;

// Appends "dropped `command`" to the trace file, when one is named.
void traceDroppedCommand(uint16_t command) noexcept;

// Appends "notice `text`" (UTF-8) to the trace file, when one is named.
void traceNotice(std::u16string_view text) noexcept;

}  // namespace crvl::shell
