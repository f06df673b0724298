// A dialog's row of command buttons as a tool bar control (comctl32 "ToolbarWindow32"):
// text buttons whose command ids are also the string ids of their texts, sized in
// dialog units so that they follow the dialog's font and DPI, with tool tips from the
// language library. The tool bar sends its parent WM_COMMAND (BN_CLICKED) with the
// command id, as a push button would, so a dialog handles both alike.
//
// Keyboard: the tool bar is a tab stop; while it has the focus the arrow keys move
// between its enabled buttons and Enter or Space presses the one marked.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <initializer_list>

namespace crvl::shell {

// Fills the tool bar control `toolbarId` of `dialog` with one button per command, in
// order. Each button is at least `minWidthDlu` dialog units wide (wider for a longer
// text) and as high as the control. Returns false when the control is missing or is
// no tool bar, or a button could not be added.
[[nodiscard]] bool fillDialogToolbar(HWND dialog, int toolbarId, std::initializer_list<uint16_t> commands,
                                     int minWidthDlu);

// Enables or disables the button of `command`; nothing when the tool bar lacks it.
void enableToolbarButton(HWND dialog, int toolbarId, int command, bool enabled) noexcept;

// For WM_NOTIFY: when `header` asks a tool bar of the dialog for a button's tip
// (TBN_GETINFOTIPW), fills it with the tool tip form of the command's text and answers
// true; false for every other notification.
bool answerToolbarTip(const NMHDR* header) noexcept;

}  // namespace crvl::shell
