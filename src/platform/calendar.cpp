// Calendar arithmetic shared by both systems: FILETIME <-> broken-down time (proleptic
// Gregorian calendar, as SystemTimeToFileTime) and the packed date-time.
#include "platform/clock.h"

namespace crvl {
namespace {

constexpr uint64_t kTicksPerMillisecond = 10'000;
constexpr uint64_t kTicksPerDay = 86'400ull * kFileTimeSecond;

// Days from 1601-01-01 to the given civil date (year >= 1601).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t daysSince0000 = era * 146097 + static_cast<int64_t>(doe);
  return daysSince0000 - 584694;  // 1601-01-01 counted from 0000-03-01
}

bool isLeap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(unsigned y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

PackedDateTime packDateTime(const CalendarTime& t) noexcept {
  return (static_cast<uint64_t>(t.second) & 0x3F) | (static_cast<uint64_t>(t.minute & 0x3F) << 6) |
         (static_cast<uint64_t>(t.hour & 0x1F) << 12) | (static_cast<uint64_t>(t.day & 0x1F) << 17) |
         (static_cast<uint64_t>(t.month & 0xF) << 22) | (static_cast<uint64_t>(t.year) << 26);
}

CalendarTime unpackDateTime(PackedDateTime p) noexcept {
  CalendarTime t;
  t.second = static_cast<uint16_t>(p & 0x3F);
  t.minute = static_cast<uint16_t>((p >> 6) & 0x3F);
  t.hour = static_cast<uint16_t>((p >> 12) & 0x1F);
  t.day = static_cast<uint16_t>((p >> 17) & 0x1F);
  t.month = static_cast<uint16_t>((p >> 22) & 0xF);
  t.year = static_cast<uint16_t>(p >> 26);
  return t;
}

CalendarTime fileTimeToCalendar(uint64_t ft) noexcept {
  CalendarTime t;
  uint64_t days = ft / kTicksPerDay;
  const uint64_t rest = ft % kTicksPerDay;
  t.dayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
  // Civil date from days since 1601-01-01.
  int64_t z = static_cast<int64_t>(days) + 584694;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  t.year = static_cast<uint16_t>(y + (m <= 2));
  t.month = static_cast<uint16_t>(m);
  t.day = static_cast<uint16_t>(d);
  uint64_t ms = rest / kTicksPerMillisecond;
  t.milliseconds = static_cast<uint16_t>(ms % 1000);
  ms /= 1000;
  t.second = static_cast<uint16_t>(ms % 60);
  t.minute = static_cast<uint16_t>((ms / 60) % 60);
  t.hour = static_cast<uint16_t>(ms / 3600);
  return t;
}

bool calendarToFileTime(const CalendarTime& t, uint64_t* out) noexcept {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > daysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59 ||
      t.milliseconds > 999) {
    return false;
  }
  const int64_t days = daysFromCivil(t.year, t.month, t.day);
  *out = static_cast<uint64_t>(days) * kTicksPerDay +
         ((static_cast<uint64_t>(t.hour) * 3600 + t.minute * 60u + t.second) * 1000 + t.milliseconds) *
             kTicksPerMillisecond;
  return true;
}

}  // namespace crvl
