// Limit computation, mask matching and the per-file test of a job's filter.
#include "jobs/filter.h"

#include <limits>

#include "os_traits.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/paths.h"

namespace crvl {
namespace {

constexpr int64_t kMaxTicks = std::numeric_limits<int64_t>::max();
constexpr uint64_t kTicksPerDay = 86'400ull * kFileTimeSecond;
// 2 January 1980, 00:00 UTC: the date that time-of-day bounds are moved to.
constexpr uint64_t kTimeOfDayBase = 119'600'928'000'000'000ull;

int64_t clampTicks(uint64_t ticks) noexcept {
  return ticks > static_cast<uint64_t>(kMaxTicks) ? kMaxTicks : static_cast<int64_t>(ticks);
}

// The time of day of `ticks` (whole seconds) on 2 January 1980.
int64_t onBaseDay(int64_t ticks) noexcept {
  if (ticks < 0) ticks = 0;
  const uint64_t ofDay = static_cast<uint64_t>(ticks) % kTicksPerDay;
  return static_cast<int64_t>(kTimeOfDayBase + ofDay - ofDay % kFileTimeSecond);
}

// now - count * unitSeconds, saturated to [0, max].
int64_t secondsBack(uint64_t now, int64_t count, int64_t unitSeconds) noexcept {
  int64_t span = 0;
  if (__builtin_mul_overflow(count, unitSeconds * static_cast<int64_t>(kFileTimeSecond), &span)) {
    return count > 0 ? 0 : kMaxTicks;
  }
  int64_t limit = 0;
  if (__builtin_sub_overflow(clampTicks(now), span, &limit)) return span > 0 ? 0 : kMaxTicks;
  return limit < 0 ? 0 : limit;
}

// now moved back by `months` calendar months; a day the target month lacks becomes
// that month's last day. Before 1601 gives 0, beyond the calendar gives the maximum.
int64_t monthsBack(uint64_t now, int64_t months) noexcept {
  const CalendarTime t = fileTimeToCalendar(now);
  int64_t index = 0;
  if (__builtin_sub_overflow(static_cast<int64_t>(t.year) * 12 + (t.month - 1), months, &index)) {
    return months > 0 ? 0 : kMaxTicks;
  }
  if (index < 1601 * 12) return 0;
  if (index > 30827 * 12 + 11) return kMaxTicks;
  CalendarTime target = t;
  target.year = static_cast<uint16_t>(index / 12);
  target.month = static_cast<uint16_t>(index % 12 + 1);
  uint64_t ticks = 0;
  while (target.day > 28 && !calendarToFileTime(target, &ticks)) --target.day;
  if (!calendarToFileTime(target, &ticks)) return 0;
  // Keep the sub-millisecond part of now so that whole-month steps stay exact.
  return clampTicks(ticks + now % 10'000);
}

int64_t dateLimitOf(const FilterBlock& block, uint64_t now, bool lower) noexcept {
  switch (block.dateUnit) {
    case 'D': return block.dateValue;
    case 'T': return onBaseDay(block.dateValue);
    case 'S': return secondsBack(now, block.dateValue, 1);
    case 'M': return secondsBack(now, block.dateValue, 60);
    case 'H': return secondsBack(now, block.dateValue, 3600);
    case 'Z': return secondsBack(now, block.dateValue, 86'400);
    case 'W': return secondsBack(now, block.dateValue, 604'800);
    case 'L': return monthsBack(now, block.dateValue);
    case 'Y': {
      int64_t months = 0;
      if (__builtin_mul_overflow(block.dateValue, int64_t{12}, &months)) {
        return block.dateValue > 0 ? 0 : kMaxTicks;
      }
      return monthsBack(now, months);
    }
    default:  // not a unit: no condition
      return lower ? 0 : kMaxTicks;
  }
}

int64_t sizeLimitOf(const FilterBlock& block, bool lower) noexcept {
  int shift = 0;
  switch (block.sizeUnit) {
    case 0:
    case 'B': shift = 0; break;
    case 'K': shift = 10; break;
    case 'M': shift = 20; break;
    case 'G': shift = 30; break;
    default: return lower ? 0 : kMaxTicks;  // not a unit: no condition
  }
  const int64_t value = block.sizeValue;
  if (value > (kMaxTicks >> shift)) return kMaxTicks;
  if (value < (std::numeric_limits<int64_t>::min() >> shift)) return std::numeric_limits<int64_t>::min();
  return value * (int64_t{1} << shift);
}

// Searches `text` case-insensitively in name[from...]; npos when absent.
size_t findFolded(std::u16string_view name, size_t from, std::u16string_view text) {
  if (text.empty()) return from;
  for (size_t p = from; p + text.size() <= name.size(); ++p) {
    if (platform::namesEqual(name.substr(p, text.size()), text)) return p;
  }
  return std::u16string_view::npos;
}

// Applies one mask part to one name part as a rename template, appending to `out`.
// False when a '*'-enclosed text is not found.
bool applyPart(std::u16string_view mask, std::u16string_view name, std::u16string& out) {
  size_t j = 0;
  size_t i = 0;
  while (i < mask.size()) {
    const char16_t c = mask[i];
    if (c == u'?') {
      if (j < name.size()) out.push_back(name[j++]);
      ++i;
      continue;
    }
    if (c != u'*') {
      out.push_back(c);
      if (j < name.size()) ++j;
      ++i;
      continue;
    }
    if (i + 1 == mask.size()) {
      out.append(name.substr(j));
      return true;
    }
    const size_t next = mask.find(u'*', i + 1);
    if (next != std::u16string_view::npos) {
      const std::u16string_view text = mask.substr(i + 1, next - i - 1);
      const size_t found = findFolded(name, j, text);
      if (found == std::u16string_view::npos) return false;
      const size_t end = found + text.size();
      out.append(name.substr(j, end - j));
      j = end;
      i = next;
      continue;
    }
    // Leave exactly as many name characters as the rest of the mask has.
    const size_t tail = mask.size() - i - 1;
    const size_t rest = name.size() - j;
    if (rest > tail) {
      out.append(name.substr(j, rest - tail));
      j += rest - tail;
    }
    ++i;
  }
  return true;
}

bool maskMatches(std::u16string_view mask, std::u16string_view name) {
  if (mask == u".") return true;
  for (char16_t c : mask) {
    if (platform::isPathSeparator(c)) return false;
  }
  // Reused buffers: the filter runs once per scanned file.
  thread_local std::u16string result;
  thread_local std::u16string extension;
  result.clear();
  const size_t maskDot = mask.rfind(u'.');
  if (maskDot == std::u16string_view::npos) {
    if (!applyPart(mask, name, result)) return false;
  } else {
    const size_t nameDot = name.rfind(u'.');
    const std::u16string_view nameBase = nameDot == std::u16string_view::npos ? name : name.substr(0, nameDot);
    const std::u16string_view nameExt =
        nameDot == std::u16string_view::npos ? std::u16string_view{} : name.substr(nameDot + 1);
    extension.clear();
    if (!applyPart(mask.substr(0, maskDot), nameBase, result)) return false;
    if (!applyPart(mask.substr(maskDot + 1), nameExt, extension)) return false;
    if (!extension.empty()) {
      result.push_back(u'.');
      result.append(extension);
    }
  }
  return platform::namesEqual(result, name);
}

bool sizeBelow(uint64_t size, int64_t limit) noexcept {
  return limit > 0 && size < static_cast<uint64_t>(limit);
}

bool sizeAbove(uint64_t size, int64_t limit) noexcept {
  return limit < 0 || size > static_cast<uint64_t>(limit);
}

}  // namespace

bool isEmptyFilter(const Filter& filter) noexcept {
  auto blockEmpty = [](const FilterBlock& b) {
    return b.masks.empty() && b.dateUnit == 0 && b.sizeUnit == 0 && b.attributes == 0;
  };
  return filter.timeKind == kTimeModified && blockEmpty(filter.include) && blockEmpty(filter.exclude);
}

void prepareFilter(Filter& filter, uint64_t now) noexcept {
  filter.include.dateLimit = dateLimitOf(filter.include, now, /*lower=*/true);
  filter.exclude.dateLimit = dateLimitOf(filter.exclude, now, /*lower=*/false);
  filter.include.sizeLimit = sizeLimitOf(filter.include, /*lower=*/true);
  filter.exclude.sizeLimit = sizeLimitOf(filter.exclude, /*lower=*/false);
}

void prepareFilter(Filter& filter) noexcept { prepareFilter(filter, platform::currentFileTime()); }

bool masksMatch(std::u16string_view masks, std::u16string_view name) {
  size_t cut = name.size();
  while (cut > 0 && !platform::isPathSeparator(name[cut - 1])) --cut;
  name.remove_prefix(cut);
  while (true) {
    const size_t end = masks.find(u';');
    const std::u16string_view mask = masks.substr(0, end);
    if (mask.empty()) return false;
    if (maskMatches(mask, name)) return true;
    if (end == std::u16string_view::npos) return false;
    masks.remove_prefix(end + 1);
  }
}

bool filterAccepts(const Filter& filter, const FilterEntry& entry) {
  const FilterBlock& in = filter.include;
  const FilterBlock& ex = filter.exclude;
  if ((in.attributes & kAttributeTestOff) == 0) {
    const uint32_t a = entry.attributes & kFilterAttributeMask;
    if (a != ((a | in.attributes) & ~static_cast<uint32_t>(ex.attributes))) return false;
  }
  uint64_t time = entry.lastWriteTime;
  if (filter.timeKind == kTimeCreated) time = entry.creationTime;
  if (filter.timeKind == kTimeLastAccess) time = entry.lastAccessTime;
  if (time < kUnsetTimeLimit) time = entry.lastWriteTime;

  if (!in.masks.empty() && !masksMatch(in.masks, entry.name)) return false;
  if (!ex.masks.empty() && masksMatch(ex.masks, entry.name)) return false;

  const int64_t ticks = clampTicks(time);
  if (in.dateUnit != 0) {
    const int64_t t = in.dateUnit == 'T' ? onBaseDay(ticks) : ticks;
    if (t < in.dateLimit) return false;
  }
  if (ex.dateUnit != 0) {
    const int64_t t = ex.dateUnit == 'T' ? onBaseDay(ticks) : ticks;
    if (t > ex.dateLimit) return false;
  }
  if (entry.size != kUnknownSize) {
    if (in.sizeUnit != 0 && sizeBelow(entry.size, in.sizeLimit)) return false;
    if (ex.sizeUnit != 0 && sizeAbove(entry.size, ex.sizeLimit)) return false;
  }
  return true;
}

bool filterAccepts(const Filter& filter, std::u16string_view name, uint32_t attributes,
                   uint64_t creationTime, uint64_t lastAccessTime, uint64_t lastWriteTime,
                   uint64_t size) {
  return filterAccepts(filter, FilterEntry{name, attributes, creationTime, lastAccessTime,
                                           lastWriteTime, size});
}

}  // namespace crvl
