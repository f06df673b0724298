// The job editor: the folder list with its buttons, the options list with the mode
// combo, and the filter. Every change goes through JobEditor: the fields are read into
// it, the rule runs, and the fields show its result.
#include "shell/job_editor_dialog.h"

#include <commctrl.h>

#include <array>
#include <string>

#include "jobs/job.h"
#include "jobs/job_editor.h"
#include "jobs/path_macros.h"
#include "language/language_table.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "shell/date_chooser.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/dialog_toolbar.h"
#include "shell/save_error.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;
constexpr int kFolderList = 2404;
constexpr int kToolbar = CRVL_ID_JOB_TOOLBAR;
constexpr int kAdd = 6990, kEdit = 6993, kExclude = 2411, kRemove = 6997, kMoveUp = 6991, kMoveDown = 6992;
constexpr int kMode = 2408;
constexpr int kOptions = 2410;
constexpr int kWithFilter = 2412;
constexpr int kIncludeMasks = 2304, kExcludeMasks = 2306;
constexpr int kTimeKind = 2315;
constexpr int kSpin = 2328;
constexpr int kAttributeFirst = 2350;
constexpr size_t kMaxFieldChars = 100;

// The controls of one time bound and one size bound.
struct TimeControls {
  int check, unit, count, date, time, chooser;
};
constexpr TimeControls kLower{2316, 2317, 2321, 2318, 2319, 2320};
constexpr TimeControls kUpper{2324, 2325, 2330, 2326, 2327, 2329};
struct SizeControls {
  int check, number, unit;
};
constexpr SizeControls kMinSize{2343, 2344, 2345};
constexpr SizeControls kMaxSize{2346, 2347, 2348};

// The texts of the units "DTSMHZWLY".
constexpr std::initializer_list<uint16_t> kDateUnitTexts = {kTextfLDt, kTextfLTm, kTextfLSc, kTextfLMi, kTextfLHr,
                                                            kTextfLDy, kTextfLWk, kTextfLMn, kTextfLYr};
// Units "BKMG" are shown by their symbols, the same in every language.
const std::vector<std::u16string> kSizeUnitTexts = {u"B", u"KB", u"MB", u"GB"};

// The controls that the filter switch enables.
constexpr std::array<int, 33> kFilterControls = {
    2302, kIncludeMasks, 2303, kExcludeMasks, 2308, kTimeKind, 2316, 2317, 2321, 2318, 2319,
    2320, 2324,          2325, 2330,          2326, 2327,      2329, kSpin, 2342, 2343, 2344,
    2345, 2346,          2347, 2348,          2349, 2350,      2351, 2352, 2353, 2354, 2355};

class JobEditorDialog : public Dialog<JobEditorDialog> {
 public:
  JobEditorDialog(const Job& job, const JobSaver& save) : job_(job), editor_(job), save_(save) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return TRUE;
      case WM_NOTIFY:
        return notify(reinterpret_cast<NMHDR*>(lParam));
      case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

  [[nodiscard]] const Job& job() const noexcept { return job_; }

 private:
  // --- Filling ---

  void initialise() {
    setTexts(handle(), {kTexttJob, kTextlOpt, kWithFilter,
                        kTextfMsk, kTextfExc, kTextfDte, kTextfLng, kTextfAtr, 2350, 2351, 2352, 2353, 2354, 2355,
                        2356, kOk, IDCANCEL});
    const HWND folders = item(kFolderList);
    ListView_SetExtendedListViewStyle(folders, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    folderIcons_ = iconList(handle(), {CRVL_ICON_JOBS, CRVL_ICON_STOP});
    ListView_SetImageList(folders, folderIcons_.get(), LVSIL_SMALL);
    addColumns(folders, {kTextFld1, kTextFld2});
    // Without its tool bar the folders are still edited by double click and the keys.
    (void)fillDialogToolbar(handle(), kToolbar, {kAdd, kEdit, kExclude, kRemove, kMoveUp, kMoveDown},
                            /*minWidthDlu=*/55);
    fillFolders();

    std::vector<std::u16string> modes;
    for (const SyncModeRow& row : SyncModeTable) modes.push_back(uiText(row.textId));
    fillCombo(handle(), kMode, modes, editor_.mode());
    const HWND options = item(kOptions);
    ListView_SetExtendedListViewStyle(options, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    addColumns(options, {kTextlOpt});
    updating_ = true;
    for (size_t row = 0; row < OptionTable.size(); ++row) {
      insertRow(options, static_cast<int>(row), uiText(OptionTable[row].textId));
      setRowChecked(options, static_cast<int>(row), editor_.optionChecked(row));
    }
    updating_ = false;
    ListView_SetColumnWidth(options, 0, LVSCW_AUTOSIZE_USEHEADER);

    setChecked(handle(), kWithFilter, editor_.filterOn());
    for (int id : {kIncludeMasks, kExcludeMasks}) ::SendDlgItemMessageW(handle(), id, EM_LIMITTEXT, kMaxFilterMaskChars, 0);
    for (int id : {kLower.count, kUpper.count, kMinSize.number, kMaxSize.number}) {
      ::SendDlgItemMessageW(handle(), id, EM_LIMITTEXT, kMaxFieldChars, 0);
    }
    setItemText(handle(), kIncludeMasks, editor_.includeMasks);
    setItemText(handle(), kExcludeMasks, editor_.excludeMasks);
    if (editor_.onlyModifiedOffered()) {
      fillComboWithTexts(handle(), kTimeKind, {kTextfMdf}, 0);
    } else {
      fillComboWithTexts(handle(), kTimeKind, {kTextfMdf, kTextfCrt, kTextfLAc}, editor_.timeKind);
    }
    for (const TimeControls* c : {&kLower, &kUpper}) fillComboWithTexts(handle(), c->unit, kDateUnitTexts, 0);
    for (const SizeControls* c : {&kMinSize, &kMaxSize}) fillCombo(handle(), c->unit, kSizeUnitTexts, 0);
    ::SendDlgItemMessageW(handle(), kSpin, UDM_SETRANGE32, 0, 100);
    ::SendDlgItemMessageW(handle(), kSpin, UDM_SETPOS32, 0, 50);
    showFilter();
    updateFolderButtons();
  }

  void fillFolders() {
    const HWND list = item(kFolderList);
    updating_ = true;
    ListView_DeleteAllItems(list);
    const auto& rows = editor_.rows();
    for (size_t i = 0; i < rows.size(); ++i) {
      const int row = insertRow(list, static_cast<int>(i), JobEditor::shownPath(rows[i].left), rows[i].excluded ? 1 : 0);
      setCell(list, row, 1, JobEditor::shownPath(rows[i].right));
    }
    fitColumns(list);
    selectRow(list, editor_.selected());
    updating_ = false;
    updateFolderButtons();
  }

  void updateFolderButtons() {
    const FolderButtons b = editor_.folderButtons();
    enableToolbarButton(handle(), kToolbar, kEdit, b.edit);
    enableToolbarButton(handle(), kToolbar, kExclude, b.exclude);
    enableToolbarButton(handle(), kToolbar, kRemove, b.remove);
    enableToolbarButton(handle(), kToolbar, kMoveUp, b.moveUp);
    enableToolbarButton(handle(), kToolbar, kMoveDown, b.moveDown);
  }

  // --- The filter: fields into the model and back ---

  void readFilter() {
    editor_.includeMasks = itemText(handle(), kIncludeMasks);
    editor_.excludeMasks = itemText(handle(), kExcludeMasks);
    editor_.timeKind = std::max(comboSelection(handle(), kTimeKind), 0);
    readTime(kLower, editor_.lower);
    readTime(kUpper, editor_.upper);
    readSize(kMinSize, editor_.minSize);
    readSize(kMaxSize, editor_.maxSize);
    for (size_t box = 0; box < editor_.attributes.size(); ++box) {
      const UINT state = ::IsDlgButtonChecked(handle(), kAttributeFirst + static_cast<int>(box));
      editor_.attributes[box] = state == BST_CHECKED     ? TriState::Checked
                                : state == BST_UNCHECKED ? TriState::Cleared
                                                         : TriState::Indeterminate;
    }
  }

  void readTime(const TimeControls& c, TimeBoundFields& bound) {
    bound.checked = isChecked(handle(), c.check);
    bound.unit = std::max(comboSelection(handle(), c.unit), 0);
    bound.count = itemText(handle(), c.count);
    bound.date = pickerDateTime(handle(), c.date, 0);
    bound.time = pickerDateTime(handle(), 0, c.time);
  }

  void readSize(const SizeControls& c, SizeBoundFields& bound) {
    bound.checked = isChecked(handle(), c.check);
    bound.number = itemText(handle(), c.number);
    bound.unit = std::max(comboSelection(handle(), c.unit), 0);
  }

  void showFilter() {
    showTime(kLower, editor_.lower, false);
    showTime(kUpper, editor_.upper, true);
    showSize(kMinSize, editor_.minSize);
    showSize(kMaxSize, editor_.maxSize);
    for (size_t box = 0; box < editor_.attributes.size(); ++box) {
      const TriState state = editor_.attributes[box];
      ::CheckDlgButton(handle(), kAttributeFirst + static_cast<int>(box),
                       state == TriState::Checked   ? BST_CHECKED
                       : state == TriState::Cleared ? BST_UNCHECKED
                                                    : BST_INDETERMINATE);
    }
    showItem(handle(), kAttributeFirst + static_cast<int>(kFolderBox), !editor_.folderBoxHidden());
    updateFilterEnables();
  }

  void showTime(const TimeControls& c, const TimeBoundFields& bound, bool upper) {
    setChecked(handle(), c.check, bound.checked);
    selectCombo(handle(), c.unit, bound.unit);
    setItemText(handle(), c.count, bound.count);
    CalendarTime date = bound.date;
    if (date.year == 0) {
      SYSTEMTIME now{};
      ::GetLocalTime(&now);
      date = {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, 0, 0, 0, 0};
    }
    setPickerDateTime(handle(), c.date, 0, date);
    setPickerDateTime(handle(), 0, c.time, bound.time);
    const TimeBoundLook look = JobEditor::look(bound, upper);
    showItem(handle(), c.count, look.countField);
    showItem(handle(), c.date, look.datePicker);
    showItem(handle(), c.time, look.timePicker);
    showItem(handle(), c.chooser, look.dateChooser);
    // Without the date the time takes its place.
    RECT date_{}, place{};
    ::GetWindowRect(item(c.date), &date_);
    ::GetWindowRect(item(c.count), &place);
    ::MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&date_), 2);
    ::MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&place), 2);
    RECT time{};
    ::GetWindowRect(item(c.time), &time);
    ::MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&time), 2);
    const int gap = scaled(handle(), 6);
    const int timeLeft = look.datePicker ? date_.right + gap : place.left;
    ::SetWindowPos(item(c.time), nullptr, timeLeft, time.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(item(c.chooser), nullptr, timeLeft + (time.right - time.left) + gap, time.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    setItemText(handle(), c.check, look.labelTextId != 0 ? uiText(look.labelTextId) : std::u16string(look.label));
  }

  void showSize(const SizeControls& c, const SizeBoundFields& bound) {
    setChecked(handle(), c.check, bound.checked);
    setItemText(handle(), c.number, bound.number);
    selectCombo(handle(), c.unit, bound.unit);
  }

  void updateFilterEnables() {
    const bool on = isChecked(handle(), kWithFilter);
    for (int id : kFilterControls) enableItem(handle(), id, on);
    enableItem(handle(), 2356, on);
    if (!on) return;
    enableItem(handle(), kTimeKind, editor_.timeKindEnabled());
    enableItem(handle(), kSpin, editor_.spinEnabled());
    // A bound's fields take part only while its box is checked.
    for (const TimeControls* c : {&kLower, &kUpper}) {
      const bool checked = isChecked(handle(), c->check);
      for (int id : {c->unit, c->count, c->date, c->time, c->chooser}) enableItem(handle(), id, checked);
    }
    for (const SizeControls* c : {&kMinSize, &kMaxSize}) {
      const bool checked = isChecked(handle(), c->check);
      enableItem(handle(), c->number, checked);
      enableItem(handle(), c->unit, checked);
    }
    for (size_t box = 0; box < editor_.attributes.size(); ++box) {
      enableItem(handle(), kAttributeFirst + static_cast<int>(box), editor_.attributeBoxEnabled(box));
    }
  }

  // --- Options and mode ---

  void showOptions() {
    updating_ = true;
    for (size_t row = 0; row < OptionTable.size(); ++row) {
      setRowChecked(item(kOptions), static_cast<int>(row), editor_.optionChecked(row));
    }
    updating_ = false;
    selectCombo(handle(), kMode, editor_.mode());
  }

  // --- Events ---

  INT_PTR notify(NMHDR* header) {
    if (header == nullptr) return FALSE;
    if (answerToolbarTip(header)) return TRUE;
    if (header->idFrom == kOptions && header->code == LVN_ITEMCHANGED && !updating_) {
      const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
      if ((change->uChanged & LVIF_STATE) != 0 && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0 &&
          change->iItem >= 0) {
        editor_.setOption(static_cast<size_t>(change->iItem), rowChecked(item(kOptions), change->iItem));
        selectCombo(handle(), kMode, editor_.mode());
      }
    } else if (header->idFrom == kFolderList && header->code == LVN_ITEMCHANGED && !updating_) {
      editor_.select(selectedRow(item(kFolderList)));
      updateFolderButtons();
    } else if (header->idFrom == kFolderList && header->code == NM_DBLCLK) {
      const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
      if (click->iItem >= 0) {
        editor_.select(click->iItem);
        if (editor_.toggleExcluded()) fillFolders();
      }
    } else if (header->idFrom == kSpin && header->code == UDN_DELTAPOS) {
      const auto* delta = reinterpret_cast<const NMUPDOWN*>(header);
      readFilter();
      editor_.spin(delta->iDelta > 0);
      showFilter();
      ::SetWindowLongPtrW(handle(), DWLP_MSGRESULT, TRUE);  // the position stays
      return TRUE;
    }
    return TRUE;
  }

  void editFolders(bool add) {
    std::u16string left, right;
    if (!add) {
      if (editor_.selected() < 0) return;
      const FolderRow& row = editor_.rows()[static_cast<size_t>(editor_.selected())];
      left = row.left;
      right = row.right;
    }
    if (!editFolderPair(handle(), &left, &right)) return;
    // A pair the job file cannot hold as given is refused, never stored cut or split.
    if (const ErrorCode problem = folderPairProblem(left, right); problem != kSuccess) {
      showErrorBox(handle(), left + u"\n" + right + u"\n\n" + platform::systemMessage(problem));
      return;
    }
    if (add) {
      (void)editor_.addRow(std::move(left), std::move(right));
    } else {
      (void)editor_.editSelected(std::move(left), std::move(right));
    }
    fillFolders();
  }

  void chooseBound(TimeBoundFields& bound) {
    readFilter();
    if (chooseDateTime(handle(), &bound.date, &bound.time)) showFilter();
  }

  void command(int id, int code) {
    switch (id) {
      case kAdd:
        editFolders(true);
        return;
      case kEdit:
        editFolders(false);
        return;
      case kExclude:
        if (editor_.toggleExcluded()) fillFolders();
        return;
      case kRemove:
        if (editor_.removeSelected()) fillFolders();
        return;
      case kMoveUp:
        if (editor_.moveUp()) fillFolders();
        return;
      case kMoveDown:
        if (editor_.moveDown()) fillFolders();
        return;
      case kMode:
        if (code == CBN_SELCHANGE) {
          editor_.chooseMode(comboSelection(handle(), kMode));
          showOptions();
        }
        return;
      case kWithFilter:
        readFilter();
        editor_.setFilterOn(isChecked(handle(), kWithFilter));
        showFilter();
        return;
      case 2316:
      case 2324:
      case 2343:
      case 2346:
        readFilter();
        showFilter();
        return;
      case 2317:
      case 2325:
        if (code == CBN_SELCHANGE) {
          readFilter();
          showFilter();
        }
        return;
      case 2320:
        chooseBound(editor_.lower);
        return;
      case 2329:
        chooseBound(editor_.upper);
        return;
      case kOk:
      case IDOK:
        readFilter();
        for (size_t row = 0; row < OptionTable.size(); ++row) {
          editor_.setOption(row, rowChecked(item(kOptions), static_cast<int>(row)));
        }
        editor_.setFilterOn(isChecked(handle(), kWithFilter));
        confirm();
        return;
      case IDCANCEL:
        end(IDCANCEL);
        return;
      default:
        if (id >= kAttributeFirst && id < kAttributeFirst + 7) {
          readFilter();
          updateFilterEnables();
        }
        return;
    }
  }

  void confirm() {
    Job edited = editor_.apply(job_);
    if (save_) {
      if (const ErrorCode saved = save_(edited); saved != kSuccess) {
        showSaveError(handle(), expandPath(edited.jobFilePath), saved);
        return;
      }
    }
    job_ = std::move(edited);
    end(IDOK);
  }

  Job job_;
  JobEditor editor_;
  const JobSaver& save_;
  UniqueImageList folderIcons_;
  bool updating_ = false;
};

}  // namespace

bool editJob(HWND owner, Job& job, const JobSaver& save) {
  JobEditorDialog dialog(job, save);
  if (dialog.runModal(owner, CRVL_DLG_JOB_EDITOR) != IDOK) return false;
  job = dialog.job();
  return true;
}

}  // namespace crvl::shell
