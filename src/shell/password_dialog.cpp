// The password dialog: one field, masked with the system's password character unless
// "Show password" is checked, and "&OK" only while the field holds text.
#include <windows.h>

#include <string>

#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "language/language_table.h"
#include "resources/program_resources.h"
#include "schedule/app_state.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/dialogs.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;
constexpr int kShowPassword = 5903;
constexpr size_t kMaxPasswordChars = 1023;

class PasswordDialog : public Dialog<PasswordDialog> {
 public:
  PasswordDialog(DialogContext& context, std::u16string_view title) : context_(context), title_(title) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return FALSE;  // the focus is set
      case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

  std::u16string typed;

 private:
  void initialise() {
    setTexts(handle(), {0, kOk, IDCANCEL, kShowPassword});
    ::SetWindowTextW(handle(), wide(titleFromText(title_)));
    // The system's password character, as a masked field of its own shows it.
    mask_ = static_cast<wchar_t>(::SendDlgItemMessageW(handle(), CRVL_ID_PASSWORD_MASK, EM_GETPASSWORDCHAR, 0, 0));
    if (mask_ == 0) mask_ = L'*';
    ::SendDlgItemMessageW(handle(), CRVL_ID_PASSWORD, EM_LIMITTEXT, kMaxPasswordChars, 0);
    setChecked(handle(), kShowPassword, (context_.state.appOptions.load() & kAppShowPassword) != 0);
    applyMasking();
    enableItem(handle(), kOk, false);
    ::SetFocus(item(CRVL_ID_PASSWORD));
  }

  void applyMasking() {
    const bool shown = isChecked(handle(), kShowPassword);
    ::SendDlgItemMessageW(handle(), CRVL_ID_PASSWORD, EM_SETPASSWORDCHAR, shown ? 0 : mask_, 0);
    ::InvalidateRect(item(CRVL_ID_PASSWORD), nullptr, TRUE);
  }

  void command(int id, int code) {
    switch (id) {
      case CRVL_ID_PASSWORD:
        if (code == EN_CHANGE) enableItem(handle(), kOk, !itemText(handle(), CRVL_ID_PASSWORD).empty());
        break;
      case kShowPassword: {
        // The choice lasts: it goes into "Opt" with the settings' next save.
        const uint32_t options = context_.state.appOptions.fetch_xor(kAppShowPassword) ^ kAppShowPassword;
        context_.settings.putInt(kSettingsSection, "Opt", options);
        applyMasking();
        break;
      }
      case kOk:
      case IDOK:
        typed = itemText(handle(), CRVL_ID_PASSWORD);
        if (typed.empty()) {
          ::MessageBeep(MB_OK);
          break;
        }
        end(IDOK);
        break;
      case IDCANCEL:
        end(IDCANCEL);
        break;
      default:
        break;
    }
  }

  DialogContext& context_;
  std::u16string title_;
  wchar_t mask_ = L'*';
};

}  // namespace

bool askPassword(DialogContext& context, std::u16string_view title, std::u16string* password) {
  bool confirmed = false;
  return askPasswordOver(context, title, password, &confirmed) == kSuccess && confirmed;
}

ErrorCode askPasswordOver(DialogContext& context, std::u16string_view title, std::u16string* password,
                          bool* confirmed) {
  *confirmed = false;
  PasswordDialog dialog(context, title);
  const INT_PTR result = dialog.runModal(static_cast<HWND>(context.owner), CRVL_DLG_PASSWORD);
  if (result == -1) {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : static_cast<ErrorCode>(kErrorInvalidWindowHandle);
  }
  if (result == IDOK) {
    if (password != nullptr) *password = dialog.typed;
    *confirmed = true;
  }
  wipeText(dialog.typed);
  return kSuccess;
}

}  // namespace crvl::shell
