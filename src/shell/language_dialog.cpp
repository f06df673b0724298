// The language dialog: the built-in languages and the language files beside the
// program; the choice is stored as "Language" and applied at once.
#include <windows.h>

#include <string>
#include <vector>

#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "language/language_choice.h"
#include "platform/environment.h"
#include "platform/text.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/dialogs.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;

class LanguageDialog : public Dialog<LanguageDialog> {
 public:
  LanguageDialog(std::vector<LanguageChoice> choices, std::u16string current)
      : choices_(std::move(choices)), current_(std::move(current)) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return FALSE;
      case WM_COMMAND:
        if (LOWORD(wParam) == CRVL_ID_LANGUAGE_LIST && HIWORD(wParam) == LBN_DBLCLK) confirm();
        if (LOWORD(wParam) == kOk || LOWORD(wParam) == IDOK) confirm();
        if (LOWORD(wParam) == IDCANCEL) end(IDCANCEL);
        return TRUE;
      default:
        return FALSE;
    }
  }

  std::u16string chosen;

 private:
  void initialise() {
    setTexts(handle(), {kTextLnge, kOk, IDCANCEL});
    const HWND list = item(CRVL_ID_LANGUAGE_LIST);
    for (size_t i = 0; i < choices_.size(); ++i) {
      ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(choices_[i].name)));
      if (platform::namesEqual(choices_[i].key, current_)) ::SendMessageW(list, LB_SETCURSEL, i, 0);
    }
    ::SetFocus(list);
  }

  void confirm() {
    const auto row = ::SendDlgItemMessageW(handle(), CRVL_ID_LANGUAGE_LIST, LB_GETCURSEL, 0, 0);
    if (row >= 0 && static_cast<size_t>(row) < choices_.size()) chosen = choices_[static_cast<size_t>(row)].key;
    end(chosen.empty() ? IDCANCEL : IDOK);
  }

  std::vector<LanguageChoice> choices_;
  std::u16string current_;
};

}  // namespace

bool showLanguageDialog(DialogContext& context) {
  LanguageDialog dialog(availableLanguages(platform::programPath()), context.state.language.key());
  const bool confirmed = dialog.runModal(static_cast<HWND>(context.owner), CRVL_DLG_LANGUAGE) == IDOK;
  if (confirmed) {
    context.settings.putString(kSettingsSection, "Language", platform::utf16ToAnsi(dialog.chosen));
    (void)context.settings.flushStore();  // a settings file that cannot be written keeps it in memory
  }
  // Without a choice an empty setting takes the system's language.
  context.state.language.applyLanguage(context.settings);
  return confirmed;
}

}  // namespace crvl::shell
