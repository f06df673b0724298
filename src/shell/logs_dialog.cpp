// The "Logs" dialog: the job logs newest first, "View" opens one with the shell,
// "Remove" deletes the selected logs after a question. Resizable; the list takes the
// room the buttons leave.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "jobs/program_settings.h"
#include "language/language_table.h"
#include "logs/log_list.h"
#include "platform/paths.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/dialogs.h"

namespace crvl::shell {
namespace {

constexpr int kView = 4007;
constexpr int kRemove = 6997;
constexpr int kClose = 8;

class LogsDialog : public Dialog<LogsDialog> {
 public:
  LogsDialog(std::u16string folder, std::u16string productName)
      : folder_(std::move(folder)), productName_(std::move(productName)) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return FALSE;
      case WM_SIZE:
        layout_.apply(handle());
        stretchColumn(list(), 0);
        return TRUE;
      case WM_GETMINMAXINFO: {
        // No smaller than the buttons need, and never below 230 x 120 (scaled).
        RECT buttons{};
        ::GetWindowRect(item(kRemove), &buttons);
        RECT frame{};
        ::GetWindowRect(handle(), &frame);
        const int needed = buttons.right - frame.left + scaled(handle(), 16);
        layout_.limit(reinterpret_cast<MINMAXINFO*>(lParam),
                      {std::max(scaled(handle(), 230), needed), scaled(handle(), 120)});
        return TRUE;
      }
      case WM_NOTIFY:
        notify(reinterpret_cast<const NMHDR*>(lParam));
        return TRUE;
      case WM_COMMAND:
        command(LOWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

 private:
  [[nodiscard]] HWND list() const noexcept { return item(CRVL_ID_LOG_LIST); }

  void initialise() {
    setTexts(handle(), {kTextdLgs, kView, kRemove, kClose});
    addButtonTooltips(handle(), {kView, kRemove});
    ListView_SetExtendedListViewStyle(list(), LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    addColumns(list(), {kTextlNme, kTextlCrd, kTextlFlg});
    layout_.capture(handle(), {{kView, 0},
                               {kRemove, 0},
                               {CRVL_ID_LOG_LIST, AnchorLayout::kGrowX | AnchorLayout::kGrowY},
                               {kClose, AnchorLayout::kMoveX | AnchorLayout::kMoveY}});
    logs_.load(folder_);
    fill();
    // Wider than its usual size when the columns need it (long log paths), so that the
    // "Log file" column shows whole where the work area allows. The resize stretches
    // "Name" to fill the list: the columns are wider than the list only when their
    // contents need it.
    centreOnWorkArea(handle(), 500, 400);
    RECT shown{};
    ::GetClientRect(list(), &shown);
    int columns = 0;
    for (int c = 0; c < 3; ++c) columns += ListView_GetColumnWidth(list(), c);
    if (columns > shown.right) centreOnWorkArea(handle(), 500, 400, columns - shown.right + ::GetSystemMetrics(SM_CXVSCROLL));
    ::SetFocus(list());
  }

  void fill() {
    filling_ = true;
    ListView_DeleteAllItems(list());
    const auto& rows = logs_.rows();
    for (size_t i = 0; i < rows.size(); ++i) {
      const int row = insertRow(list(), static_cast<int>(i), rows[i].jobName);
      setCell(list(), row, 1, formatLogStamp(rows[i].stamp));
      setCell(list(), row, 2, rows[i].logPath);
    }
    fitColumns(list());
    stretchColumn(list(), 0);
    filling_ = false;
    if (!rows.empty()) selectRow(list(), 0);
    syncSelection();
  }

  // The model follows the list's selection; the buttons follow the model.
  void syncSelection() {
    const int count = ListView_GetItemCount(list());
    for (int row = 0; row < count; ++row) {
      logs_.select(static_cast<size_t>(row), (ListView_GetItemState(list(), row, LVIS_SELECTED) & LVIS_SELECTED) != 0);
    }
    enableItem(handle(), kView, logs_.canView());
    enableItem(handle(), kRemove, logs_.canView());
  }

  void notify(const NMHDR* header) {
    if (header == nullptr || header->idFrom != CRVL_ID_LOG_LIST) return;
    if (header->code == LVN_ITEMCHANGED && !filling_) {
      const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
      if ((change->uChanged & LVIF_STATE) != 0) syncSelection();
    } else if (header->code == NM_DBLCLK) {
      view();
    }
  }

  void command(int id) {
    switch (id) {
      case kView:
        view();
        break;
      case kRemove:
        remove();
        break;
      case kClose:
      case IDOK:
      case IDCANCEL:
        end(IDOK);
        break;
      default:
        break;
    }
  }

  void view() {
    const std::u16string path = logs_.viewPath();
    if (path.empty()) return;
    const std::u16string folder(platform::folderOf(path));
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = handle();
    info.lpFile = wide(path);
    info.lpDirectory = folder.empty() ? nullptr : wide(folder);
    info.nShow = SW_SHOWNORMAL;
    ::ShellExecuteExW(&info);
  }

  void remove() {
    if (logs_.selectedCount() == 0) return;
    const std::u16string question = logs_.removeQuestion([](uint16_t id) { return uiText(id); });
    if (::MessageBoxW(handle(), wide(question), wide(productName_), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    if (logs_.removeSelected() != 0) fill();
  }

  std::u16string folder_;
  std::u16string productName_;
  LogList logs_;
  AnchorLayout layout_;
  bool filling_ = false;
};

}  // namespace

bool showLogsDialog(DialogContext& context) {
  LogsDialog dialog(logFolder(context.settings), context.state.productName);
  return dialog.runModal(static_cast<HWND>(context.owner), CRVL_DLG_LOGS) == IDOK;
}

}  // namespace crvl::shell
