// "Planed Tasks" (the task list, resizable) and "Plan" (one task). The rules live in
// TaskList and the plan form; these windows show them.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "language/language_table.h"
#include "platform/locale.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/plan_form.h"
#include "schedule/task_list.h"
#include "schedule/task_units.h"
#include "shell/date_chooser.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/dialogs.h"
#include "shell/help_files.h"
#include "shell/main_window.h"
#include "shell/save_error.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;
constexpr int kAdd = 6990;
constexpr int kEdit = 6993;
constexpr int kRemove = 6997;
constexpr int kMoveUp = 6991;
constexpr int kMoveDown = 6992;
constexpr int kDelayCheck = 3206;
constexpr int kRepeatCheck = 3209;
constexpr int kStartLabel = 3212;

std::u16string decimal(uint64_t value) {
  std::u16string text;
  for (char c : std::to_string(value)) text.push_back(static_cast<char16_t>(c));
  return text;
}

// F1 in one of these dialogs: the help at the dialog's own context.
void helpAt(const HELPINFO* info, uint32_t context) {
  if (info == nullptr) return;
  HELPINFO forwarded = *info;
  forwarded.iCtrlId = 0;
  forwarded.dwContextId = context;
  ::SendMessageW(mainWindowHandle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&forwarded));
}

class PlanDialog : public Dialog<PlanDialog> {
 public:
  PlanDialog(Task task, std::vector<std::u16string> jobNames) : task_(std::move(task)), jobNames_(std::move(jobNames)) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_HELP:
        helpAt(reinterpret_cast<const HELPINFO*>(lParam), kHelpContextPlan);
        return TRUE;
      case WM_INITDIALOG:
        initialise();
        return TRUE;
      case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

  [[nodiscard]] const Task& task() const noexcept { return task_; }

 private:
  void initialise() {
    setTexts(handle(), {kTextTask, kTexttJob, kTexttMod, kTexttStr, kTexttDly, kTexttRpt, kOk, IDCANCEL});
    const PlanFields fields = planFieldsOf(task_, jobNames_);
    fillCombo(handle(), CRVL_ID_PLAN_JOB, jobNames_, jobNames_.empty() ? -1 : fields.job);
    fillComboWithTexts(handle(), CRVL_ID_PLAN_KIND, {kPlanKinds[0].textId, kPlanKinds[1].textId, kPlanKinds[2].textId},
                       fields.kind);
    fillComboWithTexts(handle(), CRVL_ID_PLAN_PERIOD,
                       {kPlanPeriods[0].textId, kPlanPeriods[1].textId, kPlanPeriods[2].textId}, fields.period);
    const auto weekdays = platform::localWeekdayNames();
    for (int day = 0; day < 7; ++day) {
      setItemText(handle(), CRVL_ID_PLAN_WEEKDAY + day, weekdays[static_cast<size_t>(day)]);
      setChecked(handle(), CRVL_ID_PLAN_WEEKDAY + day, fields.weekdays[static_cast<size_t>(day)]);
    }
    CalendarTime start = fields.start;
    if (task_.kind != kStartTimed) {
      SYSTEMTIME now{};
      ::GetLocalTime(&now);
      start = {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, now.wHour, now.wMinute, 0, 0};
    }
    setPickerDateTime(handle(), CRVL_ID_PLAN_DATE, CRVL_ID_PLAN_TIME, start);
    gap_ = itemRect(CRVL_ID_PLAN_TIME).left - itemRect(CRVL_ID_PLAN_DATE).right;
    fillUnit(kDelayCheck, CRVL_ID_PLAN_DELAY, CRVL_ID_PLAN_DELAY_UNIT, fields.delay);
    fillUnit(kRepeatCheck, CRVL_ID_PLAN_REPEAT, CRVL_ID_PLAN_REPEAT_UNIT, fields.repeat);
    applyVisibility();
  }

  [[nodiscard]] RECT itemRect(int id) const {
    RECT r{};
    ::GetWindowRect(item(id), &r);
    ::MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  void fillUnit(int check, int number, int unit, const UnitValue& value) {
    fillComboWithTexts(handle(), unit, {kTaskUnits[0].textId, kTaskUnits[1].textId, kTaskUnits[2].textId,
                                        kTaskUnits[3].textId},
                       static_cast<int>(value.unit));
    setChecked(handle(), check, value.checked);
    if (value.checked) setItemText(handle(), number, decimal(value.number));
  }

  void applyVisibility() {
    const int kind = std::max(comboSelection(handle(), CRVL_ID_PLAN_KIND), 0);
    const int period = std::max(comboSelection(handle(), CRVL_ID_PLAN_PERIOD), 0);
    const PlanVisibility v = planVisibility(kPlanKinds[static_cast<size_t>(kind)].code,
                                            kPlanPeriods[static_cast<size_t>(period)].code);
    for (int id : {kDelayCheck, CRVL_ID_PLAN_DELAY, CRVL_ID_PLAN_DELAY_UNIT, kRepeatCheck, CRVL_ID_PLAN_REPEAT,
                   CRVL_ID_PLAN_REPEAT_UNIT}) {
      showItem(handle(), id, v.delayAndRepeat);
    }
    showItem(handle(), CRVL_ID_PLAN_PERIOD, v.period);
    showItem(handle(), kStartLabel, v.startLabel);
    showItem(handle(), CRVL_ID_PLAN_DATE, v.date);
    showItem(handle(), CRVL_ID_PLAN_TIME, v.time);
    showItem(handle(), CRVL_ID_PLAN_CHOOSER, v.dateChooser);
    // Without the date the time moves to its place.
    const RECT dateRect = itemRect(CRVL_ID_PLAN_DATE);
    const RECT timeRect = itemRect(CRVL_ID_PLAN_TIME);
    const int left = v.date ? dateRect.right + gap_ : dateRect.left;
    ::SetWindowPos(item(CRVL_ID_PLAN_TIME), nullptr, left, timeRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The picker and its spin paint themselves anew at the new place.
    ::RedrawWindow(item(CRVL_ID_PLAN_TIME), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    for (int day = 0; day < 7; ++day) showItem(handle(), CRVL_ID_PLAN_WEEKDAY + day, v.weekdays);
    fitHeight();
  }

  // The buttons sit below the lowest control shown and the dialog ends below them, so
  // that a kind with fewer controls leaves no blank band.
  void fitHeight() {
    int lowest = 0;
    for (HWND child = ::GetWindow(handle(), GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
      const int id = ::GetDlgCtrlID(child);
      // The style, not IsWindowVisible: the dialog itself is not shown yet at its start.
      if (id == kOk || id == IDCANCEL || (::GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
      RECT r{};
      ::GetWindowRect(child, &r);
      ::MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&r), 2);
      lowest = std::max<int>(lowest, r.bottom);
    }
    RECT above{0, 0, 0, 14};  // dialog units
    RECT below{0, 0, 0, 7};
    ::MapDialogRect(handle(), &above);
    ::MapDialogRect(handle(), &below);
    const int top = lowest + above.bottom;
    for (int id : {kOk, IDCANCEL}) {
      const RECT r = itemRect(id);
      ::SetWindowPos(item(id), nullptr, r.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const RECT ok = itemRect(kOk);
    RECT window{};
    RECT client{};
    ::GetWindowRect(handle(), &window);
    ::GetClientRect(handle(), &client);
    const int height = (window.bottom - window.top) - client.bottom + ok.bottom + below.bottom;
    ::SetWindowPos(handle(), nullptr, 0, 0, window.right - window.left, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(handle(), nullptr, TRUE);
  }

  void command(int id, int code) {
    switch (id) {
      case CRVL_ID_PLAN_KIND:
      case CRVL_ID_PLAN_PERIOD:
        if (code == CBN_SELCHANGE) applyVisibility();
        break;
      case CRVL_ID_PLAN_CHOOSER: {
        CalendarTime date = pickerDateTime(handle(), CRVL_ID_PLAN_DATE, 0);
        CalendarTime time = pickerDateTime(handle(), 0, CRVL_ID_PLAN_TIME);
        if (chooseDateTime(handle(), &date, &time)) {
          setPickerDateTime(handle(), CRVL_ID_PLAN_DATE, 0, date);
          setPickerDateTime(handle(), 0, CRVL_ID_PLAN_TIME, time);
        }
        break;
      }
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

  void confirm() {
    PlanInput input;
    input.job = comboSelection(handle(), CRVL_ID_PLAN_JOB);
    input.kind = comboSelection(handle(), CRVL_ID_PLAN_KIND);
    input.period = comboSelection(handle(), CRVL_ID_PLAN_PERIOD);
    input.date = pickerDateTime(handle(), CRVL_ID_PLAN_DATE, 0);
    input.time = pickerDateTime(handle(), 0, CRVL_ID_PLAN_TIME);
    for (int day = 0; day < 7; ++day) {
      input.weekdays[static_cast<size_t>(day)] = isChecked(handle(), CRVL_ID_PLAN_WEEKDAY + day);
    }
    input.delayChecked = isChecked(handle(), kDelayCheck);
    input.delayText = itemText(handle(), CRVL_ID_PLAN_DELAY);
    input.delayUnit = comboSelection(handle(), CRVL_ID_PLAN_DELAY_UNIT);
    input.repeatChecked = isChecked(handle(), kRepeatCheck);
    input.repeatText = itemText(handle(), CRVL_ID_PLAN_REPEAT);
    input.repeatUnit = comboSelection(handle(), CRVL_ID_PLAN_REPEAT_UNIT);
    task_ = taskFromPlan(input, jobNames_);
    end(IDOK);
  }

  Task task_;
  std::vector<std::u16string> jobNames_;
  int gap_ = 0;  // between the date and the time picker
};

class TasksDialog : public Dialog<TasksDialog> {
 public:
  explicit TasksDialog(ProfileStore& settings) : settings_(settings) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_HELP:
        helpAt(reinterpret_cast<const HELPINFO*>(lParam), kHelpContextPlannedTasks);
        return TRUE;
      case WM_INITDIALOG:
        initialise();
        return FALSE;
      case WM_SIZE:
        layout_.apply(handle());
        stretchColumn(list(), 0);
        return TRUE;
      case WM_GETMINMAXINFO: {
        RECT last{}, frame{};
        ::GetWindowRect(item(kMoveDown), &last);
        ::GetWindowRect(handle(), &frame);
        const int needed = last.right - frame.left + scaled(handle(), 16);
        layout_.limit(reinterpret_cast<MINMAXINFO*>(lParam), {needed, scaled(handle(), 200)});
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
  [[nodiscard]] HWND list() const noexcept { return item(CRVL_ID_TASK_LIST); }

  void initialise() {
    setTexts(handle(), {kTextdTsk, kAdd, kEdit, kRemove, kMoveUp, kMoveDown, kOk, IDCANCEL});
    ListView_SetExtendedListViewStyle(list(), LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    addColumns(list(), {kTexttJob, kTextlDtl});
    layout_.capture(handle(), {{CRVL_ID_TASK_LIST, AnchorLayout::kGrowX | AnchorLayout::kGrowY},
                               {kOk, AnchorLayout::kMoveX | AnchorLayout::kMoveY},
                               {IDCANCEL, AnchorLayout::kMoveX | AnchorLayout::kMoveY}});
    tasks_.load(settings_);
    jobNames_ = planJobNames(readRegister(settings_));
    fill();
    centreOnWorkArea(handle(), 500, 400);
    ::SetFocus(list());
  }

  void fill() {
    filling_ = true;
    ListView_DeleteAllItems(list());
    const auto& rows = tasks_.rows();
    for (size_t i = 0; i < rows.size(); ++i) {
      const int row = insertRow(list(), static_cast<int>(i), rows[i].jobName);
      const uint16_t details = TaskList::detailsTextId(rows[i].kind);
      setCell(list(), row, 1, details != 0 ? uiText(details) : std::u16string());
    }
    ListView_SetColumnWidth(list(), 1, LVSCW_AUTOSIZE_USEHEADER);
    fitColumns(list());
    stretchColumn(list(), 0);
    selectRow(list(), tasks_.selected());
    filling_ = false;
    updateButtons();
  }

  void updateButtons() {
    const TaskListButtons b = tasks_.buttons();
    enableItem(handle(), kEdit, b.edit);
    enableItem(handle(), kRemove, b.remove);
    enableItem(handle(), kMoveUp, b.moveUp);
    enableItem(handle(), kMoveDown, b.moveDown);
  }

  void notify(const NMHDR* header) {
    if (header == nullptr || header->idFrom != CRVL_ID_TASK_LIST) return;
    if (header->code == LVN_ITEMCHANGED && !filling_) {
      tasks_.select(selectedRow(list()));
      updateButtons();
    } else if (header->code == NM_DBLCLK) {
      edit();
    }
  }

  // "Plan" on a task; true with the confirmed task in `*task`.
  bool plan(Task* task) {
    PlanDialog dialog(*task, jobNames_);
    if (dialog.runModal(handle(), CRVL_DLG_PLAN) != IDOK) return false;
    *task = dialog.task();
    return true;
  }

  void edit() {
    if (tasks_.selected() < 0) return;
    Task task = tasks_.rows()[static_cast<size_t>(tasks_.selected())];
    if (plan(&task) && tasks_.editSelected(std::move(task))) fill();
  }

  void command(int id) {
    switch (id) {
      case kAdd: {
        Task task;
        if (plan(&task) && tasks_.add(std::move(task))) fill();
        break;
      }
      case kEdit:
        edit();
        break;
      case kRemove:
        if (tasks_.removeSelected()) fill();
        break;
      case kMoveUp:
        if (tasks_.moveUp()) fill();
        break;
      case kMoveDown:
        if (tasks_.moveDown()) fill();
        break;
      case kOk:
      case IDOK:
      {
        const std::u16string file = settings_.path();
        if (const ErrorCode saved = tasks_.commit(settings_); saved != kSuccess) {
          showSaveError(handle(), file, saved);  // the dialog stays open with the list
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

  ProfileStore& settings_;
  TaskList tasks_;
  std::vector<std::u16string> jobNames_;
  AnchorLayout layout_;
  bool filling_ = false;
};

}  // namespace

bool showPlannedTasksDialog(DialogContext& context) {
  TasksDialog dialog(context.settings);
  return dialog.runModal(static_cast<HWND>(context.owner), CRVL_DLG_TASKS) == IDOK;
}

}  // namespace crvl::shell
