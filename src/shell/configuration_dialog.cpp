// The "Configuration" dialog: the general options with the log controls on the first
// page, the file-system plug-ins on the second; the tab control 5101 switches them.
// "&OK" stores the options through saveGeneralOptions and the plug-in list through its
// page; the shell then brings the running program in line.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>
#include <vector>

#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "language/language_table.h"
#include "logs/log_format.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/dialogs.h"
#include "shell/file_dialogs.h"
#include "shell/plugin_page_view.h"
#include "shell/save_error.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;
constexpr int kPages = 5101;
constexpr int kStartWithWindows = 5201, kIconsInMenu = 5202, kIconSize = 5208;
constexpr int kDelay = 5122, kDelaySpin = 5123;
constexpr int kJobFolder = 5211, kJobBrowse = 5212;
constexpr int kLogToFolder = 5221, kLogFolder = 5222, kLogBrowse = 5223, kLogAsLabel = 5224, kLogAs = 5225;
constexpr std::array<uint32_t, 5> kIconSizes = {16, 24, 32, 48, 64};
constexpr uint32_t kDelaySpinLimit = 20863;
constexpr size_t kMaxFolderChars = 1023;

// The controls of each page.
constexpr std::array<int, 17> kGeneralPage = {kStartWithWindows, 5121, kDelay, kDelaySpin, 5124, kIconsInMenu,
                                              5207, kIconSize, 5210, kJobFolder, kJobBrowse, 5220,
                                              kLogToFolder, kLogFolder, kLogBrowse, kLogAsLabel, kLogAs};
constexpr std::array<int, 8> kPluginPage = {5501, 6990, 6993, 6995, 6997, 6991, 6992, 5540};

std::u16string decimal(uint64_t value) {
  std::u16string text;
  for (char c : std::to_string(value)) text.push_back(static_cast<char16_t>(c));
  return text;
}

uint64_t parseNumber(std::u16string_view text) {
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') break;
    value = value > UINT64_MAX / 10 ? UINT64_MAX : value * 10 + static_cast<uint64_t>(c - u'0');
  }
  return value;
}

class ConfigurationDialog : public Dialog<ConfigurationDialog> {
 public:
  ConfigurationDialog(DialogContext& context, int page) : context_(context), page_(page < 0 ? 0 : page) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return TRUE;
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->idFrom == kPages && header->code == TCN_SELCHANGE) {
          showPage(TabCtrl_GetCurSel(item(kPages)));
        } else {
          (void)plugins_.notify(header);
        }
        return TRUE;
      }
      case WM_CONTEXTMENU:
        return plugins_.contextMenu(reinterpret_cast<HWND>(wParam), lParam) ? TRUE : FALSE;
      case WM_COMMAND:
        if (!plugins_.command(LOWORD(wParam))) command(LOWORD(wParam));
        return TRUE;
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN: {
        // The page's labels and boxes stand on the tab's face, not on the dialog's.
        const auto control = reinterpret_cast<HWND>(lParam);
        wchar_t kind[16] = {};
        ::GetClassNameW(control, kind, 16);
        const int id = ::GetDlgCtrlID(control);
        if (id == kOk || id == IDCANCEL || ::lstrcmpiW(kind, L"Edit") == 0) return FALSE;  // disabled fields stay grey
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW));
      }
      default:
        return FALSE;
    }
  }

  [[nodiscard]] int page() const noexcept { return page_; }

 private:
  void initialise() {
    setTexts(handle(), {kTextCnfg, kStartWithWindows, 5121, 5124, kIconsInMenu, 5207, 5210, 5220, kLogToFolder,
                        kLogAsLabel, kOk, IDCANCEL});
    for (uint16_t textId : {kTextoGrl, kTextPgFS}) {
      std::u16string text = uiText(textId);
      TCITEMW tab{};
      tab.mask = TCIF_TEXT;
      tab.pszText = const_cast<wchar_t*>(wide(text));
      TabCtrl_InsertItem(item(kPages), TabCtrl_GetItemCount(item(kPages)), &tab);
    }

    ProgramOptionState state;
    state.appOptions = context_.state.appOptions.load();
    state.menuIconSize = readMenuIconSize(context_.settings);
    state.logFormat = context_.state.logFormat;
    shown_ = readGeneralOptions(context_.settings, state);
    setChecked(handle(), kStartWithWindows, shown_.startWithWindows);
    setChecked(handle(), kIconsInMenu, shown_.iconsInMenu);
    std::vector<std::u16string> sizes;
    int selected = 0;
    for (size_t i = 0; i < kIconSizes.size(); ++i) {
      sizes.push_back(decimal(kIconSizes[i]) + u"x" + decimal(kIconSizes[i]));
      if (kIconSizes[i] == shown_.menuIconSize) selected = static_cast<int>(i);
    }
    fillCombo(handle(), kIconSize, sizes, selected);
    ::SendDlgItemMessageW(handle(), kDelaySpin, UDM_SETRANGE32, 0, kDelaySpinLimit);
    const uint64_t delay = shown_.startDelaySeconds;
    if (delay != 0) ::SendDlgItemMessageW(handle(), kDelaySpin, UDM_SETPOS32, 0, static_cast<LPARAM>(delay));
    setItemText(handle(), kDelay, delay != 0 ? decimal(delay) : std::u16string());  // empty for 0
    for (int id : {kJobFolder, kLogFolder}) ::SendDlgItemMessageW(handle(), id, EM_LIMITTEXT, kMaxFolderChars, 0);
    setItemText(handle(), kJobFolder, shown_.jobFolder);
    setItemText(handle(), kLogFolder, shown_.logFolder);
    setChecked(handle(), kLogToFolder, shown_.logToFolder);
    std::vector<std::u16string> formats;
    for (LogFormat f = 1; f <= kLogFormatCount; ++f) formats.push_back(logFormatInfo(f)->name);
    fillCombo(handle(), kLogAs, formats, static_cast<int>(shown_.logFormat) - 1);
    updateLogControls();
    plugins_.initialise(handle(), context_.settings);

    if (page_ >= TabCtrl_GetItemCount(item(kPages))) page_ = 0;
    TabCtrl_SetCurSel(item(kPages), page_);
    showPage(page_);
  }

  void showPage(int page) {
    page_ = page;
    for (int id : kGeneralPage) showItem(handle(), id, page == 0);
    for (int id : kPluginPage) showItem(handle(), id, page == 1);
  }

  void updateLogControls() {
    const bool on = isChecked(handle(), kLogToFolder);
    for (int id : {kLogFolder, kLogBrowse, kLogAsLabel, kLogAs}) enableItem(handle(), id, on);
  }

  void browse(int field) {
    const std::u16string chosen = chooseFolder(handle(), itemText(handle(), field));
    if (!chosen.empty()) setItemText(handle(), field, chosen);
  }

  void confirm() {
    GeneralOptions options = shown_;  // keeps the default folders shown
    options.startWithWindows = isChecked(handle(), kStartWithWindows);
    options.iconsInMenu = isChecked(handle(), kIconsInMenu);
    const int size = comboSelection(handle(), kIconSize);
    options.menuIconSize = kIconSizes[size >= 0 ? static_cast<size_t>(size) : 0];
    options.startDelaySeconds = parseNumber(itemText(handle(), kDelay));
    options.jobFolder = itemText(handle(), kJobFolder);
    options.logToFolder = isChecked(handle(), kLogToFolder);
    options.logFolder = itemText(handle(), kLogFolder);
    const int format = comboSelection(handle(), kLogAs);
    if (format >= 0) options.logFormat = static_cast<uint32_t>(format) + 1;

    ProgramOptionState state;
    state.appOptions = context_.state.appOptions.load();
    state.menuIconSize = readMenuIconSize(context_.settings);
    state.logFormat = context_.state.logFormat;
    // A settings file that cannot be written is told, and the dialog stays open with
    // what the user chose.
    const std::u16string file = context_.settings.path();
    const GeneralOptionsOutcome saved = saveGeneralOptions(context_.settings, options, state);
    if (saved.flushResult != kSuccess) {
      showSaveError(handle(), file, saved.flushResult);
      return;
    }
    context_.state.logFormat = static_cast<LogFormat>(state.logFormat);
    const PluginPageSaved plugins = plugins_.page().save(context_.settings, context_.state.providers);
    if (plugins.flushResult != kSuccess) {
      showSaveError(handle(), file, plugins.flushResult);
      return;
    }
    end(IDOK);
  }

  void command(int id) {
    switch (id) {
      case kLogToFolder:
        updateLogControls();
        break;
      case kJobBrowse:
        browse(kJobFolder);
        break;
      case kLogBrowse:
        browse(kLogFolder);
        break;
      case kOk:
      case IDOK:
        confirm();
        break;
      case IDCANCEL:
        end(IDCANCEL);
        break;
      default:
        break;
    }
  }

  DialogContext& context_;
  int page_;
  GeneralOptions shown_;
  PluginPageView plugins_;
};

}  // namespace

bool showConfigurationDialog(DialogContext& context, int* lastPage) {
  ConfigurationDialog dialog(context, lastPage != nullptr ? *lastPage : 0);
  const bool confirmed = dialog.runModal(static_cast<HWND>(context.owner), CRVL_DLG_CONFIGURATION) == IDOK;
  if (lastPage != nullptr) *lastPage = dialog.page();
  return confirmed;
}

}  // namespace crvl::shell
