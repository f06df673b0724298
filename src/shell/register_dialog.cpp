// The job register dialog ("&Configure..."): the jobs with their menu groups and
// separators, edited through RegisterList; the job editor for "Add New" and "Edit"
// (which saves the job file at once); "Open" and "Save" for a row's job file. "&OK"
// writes the register. Also the job editor of a job's "Customi&ze...".
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "jobs/job.h"
#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "jobs/register_list.h"
#include "language/language_table.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/dialogs.h"
#include "shell/file_dialogs.h"
#include "shell/job_editor_dialog.h"
#include "shell/save_error.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;
constexpr int kAdd = 6990, kEdit = 6993, kAddMenu = 3007, kAddSeparator = 3008, kRemove = 6997;
constexpr int kMoveUp = 6991, kMoveDown = 6992, kOpen = 3021, kSave = 3022;
constexpr wchar_t kJobFilter[] = L"Job\0*.job\0*.*\0*.*\0";

class RegisterDialog : public Dialog<RegisterDialog> {
 public:
  explicit RegisterDialog(ProfileStore& settings) : settings_(settings) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return FALSE;
      case WM_NOTIFY: {
        const LRESULT result = notify(reinterpret_cast<NMHDR*>(lParam));
        ::SetWindowLongPtrW(handle(), DWLP_MSGRESULT, result);
        return TRUE;
      }
      case WM_COMMAND:
        command(LOWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

 private:
  [[nodiscard]] HWND list() const noexcept { return item(CRVL_ID_REGISTER_LIST); }

  void initialise() {
    setTexts(handle(), {kTextJCfg, kAdd, kEdit, kAddMenu, kAddSeparator, kRemove, kMoveUp, kMoveDown, kOpen, kSave,
                        kOk, IDCANCEL});
    ListView_SetExtendedListViewStyle(list(), LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    addColumns(list(), {kTextlNme, kTextJbFl});
    rows_.load(settings_);
    fill();
    ::SetFocus(list());
  }

  void fill() {
    updating_ = true;
    ListView_DeleteAllItems(list());
    for (size_t i = 0; i < rows_.size(); ++i) {
      const int row = insertRow(list(), static_cast<int>(i), rows_.displayText(i));
      setCell(list(), row, 1, rows_.displayPath(i));
    }
    fitColumns(list());
    selectRow(list(), rows_.selected());
    updating_ = false;
    updateButtons();
  }

  [[nodiscard]] bool selectedIs(RegisterKind kind) const {
    const int row = rows_.selected();
    return row >= 0 && rows_.rows()[static_cast<size_t>(row)].kind == kind;
  }

  void updateButtons() {
    const bool job = selectedIs(RegisterKind::Job);
    const bool movable = job || selectedIs(RegisterKind::Separator);
    enableItem(handle(), kEdit, job);
    enableItem(handle(), kOpen, job);
    enableItem(handle(), kSave, job);
    enableItem(handle(), kRemove, rows_.selected() >= 0 && !selectedIs(RegisterKind::GroupEnd));
    // At the first or last place the move beeps; rows that never move cannot.
    enableItem(handle(), kMoveUp, movable);
    enableItem(handle(), kMoveDown, movable);
  }

  LRESULT notify(NMHDR* header) {
    if (header == nullptr || header->idFrom != CRVL_ID_REGISTER_LIST) return 0;
    switch (header->code) {
      case LVN_ITEMCHANGED:
        if (!updating_) {
          rows_.select(selectedRow(list()));
          updateButtons();
        }
        return 0;
      case NM_DBLCLK:
        edit();
        return 0;
      case LVN_BEGINLABELEDIT: {
        const auto* info = reinterpret_cast<const NMLVDISPINFOW*>(header);
        const int row = info->item.iItem;
        if (row < 0 || !rows_.canRename(static_cast<size_t>(row))) return TRUE;  // refused
        // The name is edited without its indent.
        const std::u16string& name = rows_.rows()[static_cast<size_t>(row)].name;
        ::SetWindowTextW(ListView_GetEditControl(list()), wide(name));
        return FALSE;
      }
      case LVN_ENDLABELEDIT: {
        const auto* info = reinterpret_cast<const NMLVDISPINFOW*>(header);
        if (info->item.pszText != nullptr && info->item.iItem >= 0) {
          const std::u16string name(reinterpret_cast<const char16_t*>(info->item.pszText));
          if (rows_.rename(static_cast<size_t>(info->item.iItem), name)) {
            // The list is filled again after the edit control is gone.
            ::PostMessageW(handle(), WM_COMMAND, kRefill, 0);
          }
        }
        return FALSE;
      }
      default:
        return 0;
    }
  }

  // The editor saves the job file at its OK, and stays open when that fails.
  [[nodiscard]] bool editAndStore(Job& job) {
    return editJob(handle(), job, [this](Job& edited) { return storeEditedJob(edited, settings_); });
  }

  void add() {
    Job job = rows_.newJob(uiText(kTextUntd));
    if (!editAndStore(job)) return;
    rows_.insertJob(job);
    fill();
  }

  void edit() {
    const int row = rows_.selected();
    if (row < 0 || !selectedIs(RegisterKind::Job)) return;
    Job job;
    (void)rows_.loadRowJob(static_cast<size_t>(row), settings_, job);  // a missing file edits an empty job
    if (!editAndStore(job)) return;
    rows_.updateJobRow(static_cast<size_t>(row), job);
    fill();
  }

  void command(int id) {
    switch (id) {
      case kRefill:
        fill();
        break;
      case kAdd:
        add();
        break;
      case kEdit:
        edit();
        break;
      case kAddMenu: {
        const size_t start = rows_.addMenu(uiText(kTextUntd));
        fill();
        ::SetFocus(list());
        ListView_EditLabel(list(), static_cast<int>(start));
        break;
      }
      case kAddSeparator:
        rows_.addSeparator();
        fill();
        break;
      case kRemove:
        if (rows_.removeSelected()) fill();
        break;
      case kMoveUp:
      case kMoveDown:
        if (id == kMoveUp ? rows_.moveUp() : rows_.moveDown()) {
          fill();
        } else {
          ::MessageBeep(MB_OK);
        }
        break;
      case kOpen:
      case kSave: {
        if (!selectedIs(RegisterKind::Job)) break;
        const std::u16string current = rows_.displayPath(static_cast<size_t>(rows_.selected()));
        const std::u16string chosen = chooseFile(handle(), current, kJobFilter, L"job", id == kSave);
        if (chosen.empty()) break;
        if (id == kOpen) {
          rows_.openJobFile(chosen);
        } else {
          (void)rows_.saveJobFileAs(chosen);  // a copy that fails leaves the row as it was
        }
        fill();
        break;
      }
      case kOk:
      case IDOK:
      {
        // The register is laid onto what is stored now; a file that cannot be written is
        // told, and the dialog stays open with the rows.
        const std::u16string file = settings_.path();
        if (const ErrorCode saved = rows_.commit(settings_); saved != kSuccess) {
          showSaveError(handle(), file, saved);
          break;
        }
        end(IDOK);
        break;
      }
      case IDCANCEL:
        end(IDCANCEL);
        break;
      default:
        break;
    }
  }

  // Posted to itself after an in-place rename.
  static constexpr int kRefill = 0x7001;

  ProfileStore& settings_;
  RegisterList rows_;
  bool updating_ = false;
};

}  // namespace

bool showJobRegisterDialog(DialogContext& context) {
  RegisterDialog dialog(context.settings);
  return dialog.runModal(static_cast<HWND>(context.owner), CRVL_DLG_REGISTER) == IDOK;
}

bool showJobEditor(DialogContext& context, int32_t jobNumber) {
  Job job;
  // An entry that does not fit is not edited: saving it would store another name or path.
  if (readRegisterEntry(jobNumber, job, context.settings) == kErrorFilenameExcedRange) return false;
  if (job.jobName.empty() && job.jobFilePath.empty()) return false;  // no such job
  const bool hadPath = !job.jobFilePath.empty();
  (void)loadJob(job, context.settings);  // a missing file edits an empty job; OK creates it
  ProfileStore& settings = context.settings;
  const auto owner = static_cast<HWND>(context.owner);
  if (!editJob(owner, job, [&settings](Job& edited) { return storeEditedJob(edited, settings); })) return false;
  if (!hadPath) {
    // The job lived in the settings; its new file goes into its register row.
    RegisterList rows;
    rows.load(settings);
    rows.updateJobRow(static_cast<size_t>(jobNumber - 1), job);
    const std::u16string file = settings.path();
    if (const ErrorCode saved = rows.commit(settings); saved != kSuccess) showSaveError(owner, file, saved);
  }
  return true;
}

}  // namespace crvl::shell
