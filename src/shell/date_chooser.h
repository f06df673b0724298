// The date-and-time chooser ("Select the date and time"): a month, a year, a grid of six
// weeks (Monday first, ISO week numbers) and the time of day, with "&Current", "&Copy"
// and "&Paste" in the 14-digit form.
#pragma once

#include <windows.h>

#include "platform/clock.h"

namespace crvl::shell {

// Runs the chooser over `owner` on the day of `*date` and the time of `*time`. On
// confirmation both receive the chosen date and time (each complete) and the answer
// is true; on Cancel they stay as they were.
bool chooseDateTime(HWND owner, CalendarTime* date, CalendarTime* time);

// The picker pair of a dialog (a date picker and a time picker) as one calendar time:
// the day of the first, the time of day of the second. Either id may be 0.
[[nodiscard]] CalendarTime pickerDateTime(HWND dialog, int dateId, int timeId);
void setPickerDateTime(HWND dialog, int dateId, int timeId, const CalendarTime& t);

}  // namespace crvl::shell
