// The message boxes of the dialogs: an error over a dialog, and the one a dialog shows
// when its OK could not write a file (the dialog then stays open with the user's
// edits).
#pragma once

#include <windows.h>

#include <string_view>

#include "platform/errors.h"

namespace crvl::shell {

// An error message box over `owner`, titled with the product's name.
void showErrorBox(HWND owner, std::u16string_view message) noexcept;

// Tells over `owner` that `file` could not be written: the language table's text for
// it (a built-in English text where the table has none), the file, and the system's
// message for `error`.
void showSaveError(HWND owner, std::u16string_view file, ErrorCode error) noexcept;

}  // namespace crvl::shell
