// Reading and writing the filter string.
#include "jobs/filter_format.h"

#include <limits>

#include "jobs/marked_text.h"
#include "jobs/value_list.h"
#include "platform/clock.h"

namespace crvl {
namespace {

// 2 January 1980 as a calendar date: the day time-of-day bounds are written on.
constexpr uint16_t kBaseYear = 1980;
constexpr uint16_t kBaseMonth = 1;
constexpr uint16_t kBaseDay = 2;

// A signed decimal number at the start of `text`; digits beyond the range saturate.
int64_t parseNumber(std::u16string_view text) noexcept {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  // Accumulate as a negative value so that the minimum is representable.
  int64_t value = 0;
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  bool saturated = false;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const int digit = text[i] - u'0';
    if (saturated) continue;
    if (value < (kMin + digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (saturated) return negative ? kMin : std::numeric_limits<int64_t>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

bool isUnit(std::string_view letters, char16_t c) noexcept {
  return c != 0 && c < 0x80 && letters.find(static_cast<char>(c)) != std::string_view::npos;
}

// A packed UTC date-time to a file time; 0 when the fields are not a valid date or
// give a time that counts as unset (which is written as 0). A time of day
// (`timeOfDay`) is taken on 2 January 1980, the day it is written on.
int64_t packedToFileTime(int64_t packed, bool timeOfDay) noexcept {
  if (packed <= 0) return 0;
  CalendarTime t = unpackDateTime(static_cast<PackedDateTime>(packed));
  uint64_t ticks = 0;
  if (!calendarToFileTime(t, &ticks)) return 0;
  if (timeOfDay) {
    t.year = kBaseYear;
    t.month = kBaseMonth;
    t.day = kBaseDay;
    if (!calendarToFileTime(t, &ticks)) return 0;
  }
  return ticks < kUnsetTimeLimit ? 0 : static_cast<int64_t>(ticks);
}

int64_t fileTimeToPacked(int64_t ticks, bool timeOfDay) noexcept {
  if (ticks < static_cast<int64_t>(kUnsetTimeLimit)) return 0;
  CalendarTime t = fileTimeToCalendar(static_cast<uint64_t>(ticks));
  if (timeOfDay) {
    t.year = kBaseYear;
    t.month = kBaseMonth;
    t.day = kBaseDay;
  }
  return static_cast<int64_t>(packDateTime(t));
}

void appendItem(std::u16string_view item, std::string& out, bool utf8File) {
  appendListItem(encodeMarkedText(item, utf8File), out, kFilterStringCapacity);
}

void appendBounds(const FilterBlock& block, std::string& out, bool utf8File) {
  std::u16string item;
  if (block.dateUnit != 0) {
    const bool absolute = block.dateUnit == 'D' || block.dateUnit == 'T';
    const int64_t value =
        absolute ? fileTimeToPacked(block.dateValue, block.dateUnit == 'T') : block.dateValue;
    item = u"d";
    item.push_back(static_cast<char16_t>(static_cast<unsigned char>(block.dateUnit)));
    for (char c : std::to_string(value)) item.push_back(static_cast<char16_t>(c));
    appendItem(item, out, utf8File);
  }
  if (block.sizeUnit != 0) {
    item = u"l";
    item.push_back(static_cast<char16_t>(static_cast<unsigned char>(block.sizeUnit)));
    for (char c : std::to_string(block.sizeValue)) item.push_back(static_cast<char16_t>(c));
    appendItem(item, out, utf8File);
  }
}

}  // namespace

void parseFilter(std::string_view stored, Filter& filter, bool utf8File) {
  filter = Filter{};
  FilterBlock* current = &filter.include;
  for (std::string_view raw : splitList(stored)) {
    if (raw.empty()) break;
    const std::u16string item = decodeMarkedText(raw, utf8File);
    if (item.empty()) break;
    const std::u16string_view arg = std::u16string_view(item).substr(1);
    switch (item[0]) {
      case u'-':
        current = &filter.exclude;
        [[fallthrough]];
      case u'+':
        current->masks.assign(arg.substr(0, kMaxFilterMaskChars));
        break;
      case u'a':
        for (char16_t c : arg) {
          for (const FilterAttributeLetter& l : kFilterAttributeLetters) {
            if (c == static_cast<char16_t>(l.letter)) filter.include.attributes |= l.bit;
            if (c == static_cast<char16_t>(l.letter - 'A' + 'a')) filter.exclude.attributes |= l.bit;
          }
        }
        break;
      case u'c': filter.timeKind = kTimeCreated; break;
      case u'r': filter.timeKind = kTimeLastAccess; break;
      case u'w': filter.timeKind = kTimeModified; break;
      case u'd':
        if (!arg.empty() && isUnit(kDateUnitLetters, arg[0])) {
          current->dateUnit = static_cast<char>(arg[0]);
          const int64_t value = parseNumber(arg.substr(1));
          const bool absolute = arg[0] == u'D' || arg[0] == u'T';
          current->dateValue = absolute ? packedToFileTime(value, arg[0] == u'T') : value;
        }
        break;
      case u'l':
        if (!arg.empty() && isUnit(kSizeUnitLetters, arg[0])) {
          current->sizeUnit = static_cast<char>(arg[0]);
          current->sizeValue = parseNumber(arg.substr(1));
        }
        break;
      default:
        break;
    }
  }
}

void formatFilter(const Filter& filter, std::string& out, bool utf8File) {
  if (filter.timeKind == kTimeCreated) appendItem(u"c", out, utf8File);
  if (filter.timeKind == kTimeLastAccess) appendItem(u"r", out, utf8File);
  if (filter.include.attributes != 0 || filter.exclude.attributes != 0) {
    std::u16string item = u"a";
    for (const FilterAttributeLetter& l : kFilterAttributeLetters) {
      // Both letters when both are asked: such a filter matches nothing, and stays so.
      if (filter.include.attributes & l.bit) item.push_back(static_cast<char16_t>(l.letter));
      if (filter.exclude.attributes & l.bit) {
        item.push_back(static_cast<char16_t>(l.letter - 'A' + 'a'));
      }
    }
    appendItem(item, out, utf8File);
  }
  appendItem(u"+" + filter.include.masks, out, utf8File);
  appendBounds(filter.include, out, utf8File);
  appendItem(u"-" + filter.exclude.masks, out, utf8File);
  appendBounds(filter.exclude, out, utf8File);
}

std::string formatFilter(const Filter& filter, bool utf8File) {
  std::string out;
  formatFilter(filter, out, utf8File);
  return out;
}

}  // namespace crvl
