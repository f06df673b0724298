#include "shell/save_error.h"

#include <string>

#include "language/language_table.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "shell/dialog_controls.h"

namespace crvl::shell {

void showErrorBox(HWND owner, std::u16string_view message) noexcept {
  try {
    const AppState* state = appState();
    const std::u16string title = state != nullptr ? state->productName : std::u16string(u"Corvell");
    ::MessageBoxW(owner, wide(std::u16string(message)), wide(title), MB_OK | MB_ICONERROR);
  } catch (...) {
    ::MessageBeep(MB_ICONERROR);  // out of memory: at least a sound
  }
}

void showSaveError(HWND owner, std::u16string_view file, ErrorCode error) noexcept {
  try {
    std::u16string text = uiText(kTextSvFl);
    // A language file of the user's that lacks the text.
    if (text.empty()) text = u"The file could not be saved; your changes are still in the dialog:";
    std::u16string reason = platform::systemMessage(error);
    while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r')) reason.pop_back();
    showErrorBox(owner, text + u"\n\n" + std::u16string(file) + u"\n\n" + reason);
  } catch (...) {
    ::MessageBeep(MB_ICONERROR);
  }
}

}  // namespace crvl::shell
