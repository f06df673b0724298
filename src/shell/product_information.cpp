// The product information dialog: the program's name and version, its licence, and the
// settings file in use.
#include <windows.h>

#include <string>

#include "jobs/profile_store.h"
#include "language/language_table.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/dialogs.h"

namespace crvl::shell {
namespace {

constexpr int kClose = 8;

class ProductInformation : public Dialog<ProductInformation> {
 public:
  explicit ProductInformation(std::u16string settingsPath) : settingsPath_(std::move(settingsPath)) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
      case WM_INITDIALOG: {
        setTexts(handle(), {kTextAbot, kClose, kTextPLic, kTextPSet});
        const std::u16string version = uiText(kTextPVer) + u" " + u"" CRVL_VERSION_TEXT;
        setItemText(handle(), CRVL_ID_PRODUCT_NAME, u"Corvell  \u2013  " + version);
        setItemText(handle(), CRVL_ID_SETTINGS_PATH, settingsPath_);
        ::SetFocus(item(kClose));
        return FALSE;
      }
      case WM_COMMAND:
        if (LOWORD(wParam) == kClose || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) end(IDOK);
        return TRUE;
      default:
        return FALSE;
    }
  }

 private:
  std::u16string settingsPath_;
};

}  // namespace

bool showProductInformation(DialogContext& context) {
  ProductInformation dialog(context.settings.path());
  return dialog.runModal(static_cast<HWND>(context.owner), CRVL_DLG_PRODUCT_INFO) == IDOK;
}

}  // namespace crvl::shell
