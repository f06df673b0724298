// The task commands of the console (the "Planed Tasks" and "Plan" dialogs' rules
// through their models), the export to the system's scheduler, and the start with the
// user's session.
#pragma once

#include <string_view>

#include "cli/console_io.h"
#include "schedule/task.h"

namespace crvl::cli {

[[nodiscard]] int listTasks(Console& console);
[[nodiscard]] int addTask(Console& console);
[[nodiscard]] int removeTask(Console& console);
[[nodiscard]] int exportTasks(Console& console);
[[nodiscard]] int switchAutostart(Console& console);

// Reads "2026-12-24T18:00" (or with a blank, and optional seconds); false otherwise.
[[nodiscard]] bool parseOnce(std::u16string_view text, CalendarTime* t);
// Reads "08:30" (optional seconds); false otherwise.
[[nodiscard]] bool parseClock(std::u16string_view text, CalendarTime* t);
// Reads "mon,fri" (English day names, three letters or whole, any case); false with the
// bad name in `*bad` otherwise.
[[nodiscard]] bool parseWeekdays(std::u16string_view text, WeekdayMask* mask, std::u16string* bad);

}  // namespace crvl::cli
