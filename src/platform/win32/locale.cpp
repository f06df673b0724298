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

}  // namespace crvl::platform
