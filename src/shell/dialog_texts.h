// Putting looked-up texts into a dialog window (the Windows program's shell).
#pragma once

#include <cstddef>
#include <cstdint>

namespace crvl {

// `ids[0]` gives the window title (dialogTitleText: cut at the first tab, no "&", cut
// at the first "...", one leading space); every further id is both a control id and
// the string id of that control's text, which is set as looked up. `window` is the
// dialog's HWND. Controls that do not exist are skipped.
void setDialogTexts(void* window, const uint16_t* ids, size_t count);

}  // namespace crvl
