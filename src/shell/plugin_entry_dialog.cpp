// The entry dialog of the "File System Plugins" page: name, module and parameters of
// one plug-in. A new entry opens the file dialog at once; a chosen module is loaded on
// its own once, for its default name, and a module that does not load is reported.
#include <windows.h>

#include <string>

#include "language/language_table.h"
#include "plugins/plugin_page.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/file_dialogs.h"
#include "shell/plugin_page_view.h"
#include "shell/save_error.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;

// The file dialog's filter list: "PlugIn" with the module patterns, then all files.
std::wstring moduleFilter() {
  std::wstring filter;
  for (std::u16string_view part : {kModuleFilterLabel, kModuleFilterPatterns, kAllFilesPattern, kAllFilesPattern}) {
    filter.append(part.begin(), part.end());
    filter.push_back(L'\0');
  }
  filter.push_back(L'\0');
  return filter;
}

class PluginEntryWindow : public Dialog<PluginEntryWindow> {
 public:
  explicit PluginEntryWindow(const PluginEntry& entry) : fields_(openEntryDialog(entry)) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return TRUE;
      case WM_COMMAND:
        command(LOWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

  [[nodiscard]] const PluginEntry& entry() const noexcept { return entry_; }

 private:
  void initialise() {
    setTexts(handle(), {fields_.titleId, kTextPgNm, kTextPPgn, kTextPPrm, kOk, IDCANCEL});
    ::SendDlgItemMessageW(handle(), CRVL_ID_PLUGIN_NAME, EM_LIMITTEXT, kNameFieldChars, 0);
    ::SendDlgItemMessageW(handle(), CRVL_ID_PLUGIN_PATH, EM_LIMITTEXT, kModuleFieldChars, 0);
    ::SendDlgItemMessageW(handle(), CRVL_ID_PLUGIN_PARAMETERS, EM_LIMITTEXT, kParameterFieldChars, 0);
    showFields();
    // The file dialog of a new entry opens once this dialog is on the screen.
    if (fields_.browseAtOnce) ::PostMessageW(handle(), WM_COMMAND, CRVL_ID_PLUGIN_BROWSE, 0);
  }

  void showFields() {
    setItemText(handle(), CRVL_ID_PLUGIN_NAME, fields_.name);
    setItemText(handle(), CRVL_ID_PLUGIN_PATH, fields_.modulePath);
    setItemText(handle(), CRVL_ID_PLUGIN_PARAMETERS, fields_.parameters);
  }

  void readFields() {
    fields_.name = itemText(handle(), CRVL_ID_PLUGIN_NAME);
    fields_.modulePath = itemText(handle(), CRVL_ID_PLUGIN_PATH);
    fields_.parameters = itemText(handle(), CRVL_ID_PLUGIN_PARAMETERS);
  }

  void browse() {
    // A new entry browses before the dialog was first shown: the dialog shows first.
    if (!::IsWindowVisible(handle())) ::ShowWindow(handle(), SW_SHOW);
    readFields();
    const std::wstring filter = moduleFilter();
    const std::u16string chosen = chooseFile(handle(), fields_.modulePath, filter.c_str(), nullptr, false);
    if (chosen.empty()) return;
    std::u16string message;
    const bool loaded = chooseModule(fields_, chosen, &message);
    showFields();
    if (!loaded) showErrorBox(handle(), message);
  }

  void command(int id) {
    switch (id) {
      case CRVL_ID_PLUGIN_BROWSE:
        browse();
        break;
      case kOk:
      case IDOK:
        readFields();
        entry_ = acceptEntryDialog(fields_);
        end(IDOK);
        break;
      case IDCANCEL:
        end(IDCANCEL);
        break;
      default:
        break;
    }
  }

  PluginEntryDialog fields_;
  PluginEntry entry_;
};

}  // namespace

bool editPluginEntry(HWND owner, PluginEntry& entry) {
  PluginEntryWindow dialog(entry);
  if (dialog.runModal(owner, CRVL_DLG_PLUGIN_ENTRY) != IDOK) return false;
  entry = dialog.entry();
  return true;
}

}  // namespace crvl::shell
