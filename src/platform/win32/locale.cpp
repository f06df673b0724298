#include "platform/locale.h"

#include <windows.h>

namespace crvl::platform {

uint16_t systemDefaultLanguageId() noexcept { return GetSystemDefaultLangID(); }

std::u16string formatLocalDateTime(uint64_t utcFileTime) {
  FILETIME utc{static_cast<DWORD>(utcFileTime), static_cast<DWORD>(utcFileTime >> 32)};
  SYSTEMTIME utcTime{}, local{};
  if (!FileTimeToSystemTime(&utc, &utcTime) ||
      !SystemTimeToTzSpecificLocalTime(/*lpTimeZoneInformation=*/nullptr, &utcTime, &local)) {
    return {};
  }
  wchar_t date[128] = {};
  wchar_t time[128] = {};
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, /*lpFormat=*/nullptr, date,
                     128) == 0 ||
      GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, /*lpFormat=*/nullptr, time, 128) == 0) {
    return {};
  }
  std::u16string out(reinterpret_cast<const char16_t*>(date));
  out += u"  ";
  out += reinterpret_cast<const char16_t*>(time);
  return out;
}

std::array<std::u16string, 7> localWeekdayNames() {
  std::array<std::u16string, 7> names = {u"Sunday", u"Monday", u"Tuesday", u"Wednesday",
                                         u"Thursday", u"Friday", u"Saturday"};
  SYSTEMTIME now{};
  GetLocalTime(&now);
  // 11 December of this year, then back to the Sunday before it (Monday = 1 ... Sunday = 7).
  SYSTEMTIME day{};
  day.wYear = now.wYear;
  day.wMonth = 12;
  day.wDay = 11;
  FILETIME stamp{};
  if (!SystemTimeToFileTime(&day, &stamp) || !FileTimeToSystemTime(&stamp, &day)) return names;
  const int weekday = day.wDayOfWeek == 0 ? 7 : day.wDayOfWeek;
  ULARGE_INTEGER ticks{};
  ticks.LowPart = stamp.dwLowDateTime;
  ticks.HighPart = stamp.dwHighDateTime;
  ticks.QuadPart -= static_cast<ULONGLONG>(weekday) * 864000000000ull;
  for (int i = 0; i < 7; ++i) {
    const FILETIME at{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME date{};
    wchar_t text[80] = {};
    if (FileTimeToSystemTime(&at, &date) &&
        GetDateFormatW(LOCALE_USER_DEFAULT, 0, &date, L"dddd", text, 80) > 0 && text[0] != L'\0') {
      names[static_cast<size_t>(i)] = reinterpret_cast<const char16_t*>(text);
    }
    ticks.QuadPart += 864000000000ull;
  }
  return names;
}

}  // namespace crvl::platform
