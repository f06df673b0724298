// The system's file dialogs for the shell's dialogs. While one is open it is the
// program's open modal dialog (a tray click brings it forward); afterwards the dialog
// that opened it is again.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace crvl::shell {

// An open (`save` false) or save dialog over `owner`, proposing `current` (its folder
// and name). `filter` is the system's double-zero-ended filter list; `extension` the
// default extension without a dot. Returns the chosen path, empty when cancelled.
[[nodiscard]] std::u16string chooseFile(HWND owner, std::u16string_view current, const wchar_t* filter,
                                        const wchar_t* extension, bool save);

// The system's folder chooser starting at `start`; empty when cancelled.
[[nodiscard]] std::u16string chooseFolder(HWND owner, const std::u16string& start);

}  // namespace crvl::shell
