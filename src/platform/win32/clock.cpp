// Current time and time-zone conversion on Windows. The conversions go through the
// zone's rules for the date in question (FileTimeToLocalFileTime would apply today's
// daylight offset to every date).
#include "platform/clock.h"

#include <windows.h>

namespace crvl::platform {
namespace {

constexpr uint64_t kTicksPerMillisecond = 10'000;

FILETIME toFileTime(uint64_t t) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return ft;
}

uint64_t fromFileTime(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace

uint64_t currentFileTime() noexcept {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return fromFileTime(now);
}

uint64_t utcToLocal(uint64_t utc) noexcept {
  const FILETIME in = toFileTime(utc);
  SYSTEMTIME utcTime, localTime;
  FILETIME out;
  if (!::FileTimeToSystemTime(&in, &utcTime) ||
      !::SystemTimeToTzSpecificLocalTime(/*lpTimeZoneInformation=*/nullptr, &utcTime,
                                         &localTime) ||
      !::SystemTimeToFileTime(&localTime, &out)) {
    return utc;
  }
  // SYSTEMTIME holds milliseconds only; keep the finer ticks.
  return fromFileTime(out) + utc % kTicksPerMillisecond;
}

uint64_t localToUtc(uint64_t local) noexcept {
  const FILETIME in = toFileTime(local);
  SYSTEMTIME localTime, utcTime;
  FILETIME out;
  if (!::FileTimeToSystemTime(&in, &localTime) ||
      !::TzSpecificLocalTimeToSystemTime(/*lpTimeZoneInformation=*/nullptr, &localTime,
                                         &utcTime) ||
      !::SystemTimeToFileTime(&utcTime, &out)) {
    return local;
  }
  return fromFileTime(out) + local % kTicksPerMillisecond;
}

void sleepMilliseconds(uint32_t ms) noexcept { ::Sleep(ms); }

}  // namespace crvl::platform
