#include "shell/dialog_texts.h"

#include <windows.h>

#include <string>

#include "language/language_table.h"

namespace crvl {

void setDialogTexts(void* window, const uint16_t* ids, size_t count) {
  if (window == nullptr || ids == nullptr || count == 0) return;
  const HWND dialog = static_cast<HWND>(window);
  const std::u16string title = dialogTitleText(ids[0]);
  SetWindowTextW(dialog, reinterpret_cast<const wchar_t*>(title.c_str()));
  for (size_t i = 1; i < count; ++i) {
    const std::u16string text = uiText(ids[i]);
    // A missing control makes SetDlgItemTextW fail; the remaining controls still get theirs.
    SetDlgItemTextW(dialog, ids[i], reinterpret_cast<const wchar_t*>(text.c_str()));
  }
}

}  // namespace crvl
