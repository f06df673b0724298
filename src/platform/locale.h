// The user's and the system's language and date formats.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace crvl::platform {

// The system's default language id (GetSystemDefaultLangID; POSIX: from LC_ALL,
// LC_MESSAGES or LANG: "de_DE" 1031, "de_CH" 2055, "de_AT" 3079, "de_LU" 4103,
// "de_LI" 5127, any other "de" 1031, everything else 1033).
[[nodiscard]] uint16_t systemDefaultLanguageId() noexcept;

// A UTC FILETIME as the user sees it in local time: the short date, two spaces, the
// time with seconds (GetDateFormatW / GetTimeFormatW; POSIX: the LC_TIME formats of
// the environment's locale, or "YYYY-MM-DD  hh:mm:ss" in the C and C.UTF-8 locales).
[[nodiscard]] std::u16string formatLocalDateTime(uint64_t utcFileTime);

// The user's full weekday names, Sunday first ("dddd" of the user's locale for the
// last Sunday before 11 December of this year and the six days after it; POSIX: the
// locale's day names, English in the C and POSIX locales or when they are missing).
[[nodiscard]] std::array<std::u16string, 7> localWeekdayNames();

}  // namespace crvl::platform
