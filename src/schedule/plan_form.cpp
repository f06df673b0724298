#include "schedule/plan_form.h"

namespace crvl {

int planChoiceIndex(const std::array<PlanChoice, 3>& choices, char code) noexcept {
  for (size_t i = 0; i < choices.size(); ++i) {
    if (choices[i].code == code) return static_cast<int>(i);
  }
  return 0;
}

std::vector<std::u16string> planJobNames(const std::vector<RegisterRow>& rows) {
  std::vector<std::u16string> names;
  for (const RegisterRow& row : rows) {
    if (row.kind == RegisterKind::Job && !row.name.empty()) names.push_back(row.name);
  }
  return names;
}

PlanVisibility planVisibility(char kind, char period) noexcept {
  PlanVisibility v;
  if (kind != kStartTimed) {
    v.delayAndRepeat = true;
    return v;
  }
  v.period = true;
  v.startLabel = true;
  v.time = true;
  if (period == kPeriodWeekly) {
    v.weekdays = true;
  } else if (period != kPeriodDaily) {
    // "Once", and a period that is not set, which the list shows as "Once".
    v.date = true;
    v.dateChooser = true;
  }
  return v;
}

PlanFields planFieldsOf(const Task& task, const std::vector<std::u16string>& jobNames) {
  PlanFields f;
  for (size_t i = 0; i < jobNames.size(); ++i) {
    if (jobNames[i] == task.jobName) {
      f.job = static_cast<int>(i);
      break;
    }
  }
  f.kind = planChoiceIndex(kPlanKinds, task.kind);
  f.period = planChoiceIndex(kPlanPeriods, task.period);
  if (task.kind == kStartTimed) {
    f.start = unpackDateTime(task.delayOrStart);
    for (size_t day = 0; day < 7; ++day) f.weekdays[day] = (task.repeatOrWeekdays >> day & 1u) != 0;
  }
  // The groups are filled for every kind; for timed tasks they are hidden.
  f.delay = unitValueOf(task.delayOrStart);
  f.repeat = unitValueOf(task.repeatOrWeekdays);
  return f;
}

Task taskFromPlan(const PlanInput& input, const std::vector<std::u16string>& jobNames) {
  Task task;
  if (input.job >= 0 && static_cast<size_t>(input.job) < jobNames.size()) {
    task.jobName = jobNames[static_cast<size_t>(input.job)].substr(0, kTaskJobNameChars);
  }
  const bool kindListed = input.kind >= 0 && static_cast<size_t>(input.kind) < kPlanKinds.size();
  task.kind = kPlanKinds[kindListed ? static_cast<size_t>(input.kind) : 0].code;
  const bool periodListed = input.period >= 0 && static_cast<size_t>(input.period) < kPlanPeriods.size();
  task.period = kPlanPeriods[periodListed ? static_cast<size_t>(input.period) : 0].code;
  if (task.kind == kStartTimed) {
    CalendarTime start;
    start.year = input.date.year;
    start.month = input.date.month;
    start.day = input.date.day;
    start.hour = input.time.hour;
    start.minute = input.time.minute;
    start.second = input.time.second;
    task.delayOrStart = packDateTime(start);
    WeekdayMask mask = 0;
    for (size_t day = 0; day < 7; ++day) {
      if (input.weekdays[day]) mask = static_cast<WeekdayMask>(mask | (1u << day));
    }
    task.repeatOrWeekdays = mask;
  } else {
    task.delayOrStart = secondsFromDialog(input.delayChecked, input.delayText, input.delayUnit, false);
    task.repeatOrWeekdays = secondsFromDialog(input.repeatChecked, input.repeatText, input.repeatUnit, true);
  }
  return task;
}

}  // namespace crvl
