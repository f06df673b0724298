// Time: FILETIME values (100-ns units since 1601-01-01 UTC) on both builds, calendar
// conversion and the packed date-time of tasks and log stamps.
#pragma once

#include <cstdint>

namespace crvl {

inline constexpr uint64_t kFileTimeSecond = 10'000'000ull;
inline constexpr uint64_t kFileTimeHour = 3600ull * kFileTimeSecond;
// Times below this (1979-12-31 22:46:40 UTC) count as unset.
inline constexpr uint64_t kUnsetTimeLimit = 0x01A8E795A33AC800ull;

// A broken-down time (SYSTEMTIME fields).
struct CalendarTime {
  uint16_t year = 0;
  uint16_t month = 0;      // 1-12
  uint16_t dayOfWeek = 0;  // 0 = Sunday
  uint16_t day = 0;        // 1-31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

// A date and time packed into 64 bits: second in bits 0-5, minute 6-11, hour 12-16,
// day 17-21, month 22-25, year from bit 26.
using PackedDateTime = uint64_t;

[[nodiscard]] PackedDateTime packDateTime(const CalendarTime& t) noexcept;
[[nodiscard]] CalendarTime unpackDateTime(PackedDateTime packed) noexcept;

// FILETIME <-> calendar time in the same zone (SystemTimeToFileTime and back).
// calendarToFileTime returns false for fields out of range.
[[nodiscard]] CalendarTime fileTimeToCalendar(uint64_t fileTime) noexcept;
[[nodiscard]] bool calendarToFileTime(const CalendarTime& t, uint64_t* fileTime) noexcept;

namespace platform {

// The current time as FILETIME (UTC).
[[nodiscard]] uint64_t currentFileTime() noexcept;

// UTC <-> local time of the system's time zone, with the daylight rule of the date.
[[nodiscard]] uint64_t utcToLocal(uint64_t utc) noexcept;
[[nodiscard]] uint64_t localToUtc(uint64_t local) noexcept;

// Sleeps for the given number of milliseconds.
void sleepMilliseconds(uint32_t ms) noexcept;

}  // namespace platform
}  // namespace crvl
