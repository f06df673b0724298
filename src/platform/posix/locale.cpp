#include "platform/locale.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/text.h"

namespace crvl::platform {
namespace {

// The locale name that decides a category, as setlocale(category, "") would choose it.
std::string_view localeName(const char* category) {
  for (const char* name : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return "C";
}

constexpr int64_t kUnixEpochTicks = 116444736000000000;  // 1970-01-01 as FILETIME

}  // namespace

uint16_t systemDefaultLanguageId() noexcept {
  const std::string_view name = localeName("LC_MESSAGES");
  if (name.size() < 2 || name.substr(0, 2) != "de" || (name.size() > 2 && name[2] != '_' &&
                                                       name[2] != '.' && name[2] != '@')) {
    return 1033;
  }
  static constexpr struct { std::string_view region; uint16_t id; } kGerman[] = {
      {"CH", 2055}, {"AT", 3079}, {"LU", 4103}, {"LI", 5127}};
  if (name.size() >= 5 && name[2] == '_') {
    for (const auto& entry : kGerman) {
      if (name.substr(3, 2) == entry.region) return entry.id;
    }
  }
  return 1031;
}

std::u16string formatLocalDateTime(uint64_t utcFileTime) {
  const time_t seconds = static_cast<time_t>(
      (static_cast<int64_t>(utcFileTime) - kUnixEpochTicks) / 10'000'000);
  struct tm local {};
  if (localtime_r(&seconds, &local) == nullptr) return {};
  const std::string_view name = localeName("LC_TIME");
  char buffer[128];
  size_t length = 0;
  // The C locale's "%x" has a two-digit year; C.UTF-8 and POSIX get the ISO form too.
  const bool plain = name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
  locale_t loc = plain ? locale_t{} : newlocale(LC_TIME_MASK, "", locale_t{});
  if (loc != locale_t{}) {
    length = strftime_l(buffer, sizeof buffer, "%x  %X", &local, loc);
    freelocale(loc);
  }
  if (length == 0) length = strftime(buffer, sizeof buffer, "%Y-%m-%d  %H:%M:%S", &local);
  return fromUtf8(std::string_view(buffer, length));
}

std::array<std::u16string, 7> localWeekdayNames() {
  std::array<std::u16string, 7> names = {u"Sunday", u"Monday", u"Tuesday", u"Wednesday",
                                         u"Thursday", u"Friday", u"Saturday"};
  const std::string_view name = localeName("LC_TIME");
  if (name == "C" || name == "POSIX" || name.substr(0, 2) == "C.") return names;
  locale_t loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", locale_t{});
  if (loc == locale_t{}) return names;
  for (int day = 0; day < 7; ++day) {
    const char* text = nl_langinfo_l(static_cast<nl_item>(DAY_1 + day), loc);
    if (text != nullptr && text[0] != '\0') names[static_cast<size_t>(day)] = fromUtf8(text);
  }
  freelocale(loc);
  return names;
}

}  // namespace crvl::platform
