// The rules of the "Plan" dialog, which edits one task, without its window: which
// lists it fills and what they select, which controls show for a kind and period, and
// the task it gives back on "&OK".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/job_register.h"
#include "platform/clock.h"
#include "resources/string_ids.h"
#include "schedule/task.h"
#include "schedule/task_units.h"

namespace crvl {

// The kind list ("Start", "Availability", "Time Controlled") and the period list
// ("Once", "Daily", "Weekly"), in list order, with the ids of their texts.
struct PlanChoice {
  char code;
  uint16_t textId;
};
inline constexpr std::array<PlanChoice, 3> kPlanKinds = {
    {{kStartAtProgramStart, kTextStrt}, {kStartWhenAvailable, kTextAval}, {kStartTimed, kTextTime}}};
inline constexpr std::array<PlanChoice, 3> kPlanPeriods = {
    {{kPeriodOnce, kTexttOnc}, {kPeriodDaily, kTexttDay}, {kPeriodWeekly, kTexttWly}}};

// The list index of a kind or period code; 0 (the first entry) when it is not listed.
[[nodiscard]] int planChoiceIndex(const std::array<PlanChoice, 3>& choices, char code) noexcept;

// The job list: the job names of the register in register order, without group starts,
// group ends and separators.
[[nodiscard]] std::vector<std::u16string> planJobNames(const std::vector<RegisterRow>& rows);

// Which controls show (recomputed whenever the kind or period selection changes).
struct PlanVisibility {
  bool delayAndRepeat = false;  // the delay and repeat groups
  bool period = false;          // the period list
  bool startLabel = false;
  bool date = false;            // the date picker
  bool time = false;            // the time picker
  bool dateChooser = false;     // the button that opens the date-and-time chooser
  bool weekdays = false;        // the seven weekday boxes
};
[[nodiscard]] PlanVisibility planVisibility(char kind, char period) noexcept;

// What the dialog shows for a task.
struct PlanFields {
  int job = 0;     // index into the job list: the task's name when listed exactly, else 0
  int kind = 0;    // index into kPlanKinds
  int period = 0;  // index into kPlanPeriods
  CalendarTime start;               // timed tasks: the date and time of the pickers
  std::array<bool, 7> weekdays{};   // Sunday first
  UnitValue delay;
  UnitValue repeat;
};
[[nodiscard]] PlanFields planFieldsOf(const Task& task, const std::vector<std::u16string>& jobNames);

// What the dialog holds when "&OK" is pressed.
struct PlanInput {
  int job = -1;     // -1: none selected
  int kind = -1;    // -1: the first kind
  int period = -1;  // -1: the first period
  CalendarTime date;  // year, month and day are used
  CalendarTime time;  // hour, minute and second are used
  std::array<bool, 7> weekdays{};
  bool delayChecked = false;
  std::u16string delayText;
  int delayUnit = -1;
  bool repeatChecked = false;
  std::u16string repeatText;
  int repeatUnit = -1;
};
// The task the dialog gives back (not saved yet): the job name (at most 40 characters),
// kind and period from the lists; for timed tasks the packed start and the weekday
// mask; otherwise the delay and repeat read back in seconds. Without a job the name is
// empty (the list does not take such a task).
[[nodiscard]] Task taskFromPlan(const PlanInput& input, const std::vector<std::u16string>& jobNames);

}  // namespace crvl
