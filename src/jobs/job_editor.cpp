// The job editor's rules, the date chooser's clipboard form and its month grid.
#include "jobs/job_editor.h"

#include <cstdio>
#include <utility>

#include "jobs/folder_side.h"
#include "os_traits.h"

namespace crvl {
namespace {

constexpr uint16_t kTextWithinTheLast = 2313;
constexpr uint16_t kTextBefore = 2314;

std::u16string decimal(int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Leading decimal digits; 0 without any; saturates at the largest int64_t.
int64_t leadingNumber(std::u16string_view text) noexcept {
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const int64_t digit = text[i] - u'0';
    if (value > (INT64_MAX - digit) / 10) return INT64_MAX;
    value = value * 10 + digit;
  }
  return value;
}

int unitIndex(std::string_view letters, char unit) noexcept {
  const size_t at = letters.find(unit);
  return unit == 0 || at == std::string_view::npos ? 0 : static_cast<int>(at);
}

char unitLetter(std::string_view letters, int index) noexcept {
  return index >= 0 && static_cast<size_t>(index) < letters.size() ? letters[static_cast<size_t>(index)] : letters[0];
}

void fillBound(TimeBoundFields& bound, const FilterBlock& block) {
  bound.checked = block.dateUnit != 0;
  bound.unit = unitIndex(kDateUnitLetters, block.dateUnit);
  if (block.dateUnit == 'D' || block.dateUnit == 'T') {
    const CalendarTime local = fileTimeToCalendar(platform::utcToLocal(static_cast<uint64_t>(block.dateValue)));
    bound.date = local;
    bound.time = local;
  } else if (block.dateUnit != 0) {
    bound.count = decimal(block.dateValue);
  }
}

void fillSize(SizeBoundFields& size, const FilterBlock& block) {
  size.checked = block.sizeUnit != 0;
  size.unit = unitIndex(kSizeUnitLetters, block.sizeUnit);
  if (block.sizeUnit != 0) size.number = decimal(block.sizeValue);
}

// A local date and time as a UTC file time; 0 when the fields are no valid date.
int64_t utcOf(const CalendarTime& date, const CalendarTime& time) {
  CalendarTime t;
  t.year = date.year;
  t.month = date.month;
  t.day = date.day;
  t.hour = time.hour;
  t.minute = time.minute;
  t.second = time.second;
  uint64_t local = 0;
  if (!calendarToFileTime(t, &local)) return 0;
  return static_cast<int64_t>(platform::localToUtc(local));
}

void readBound(const TimeBoundFields& bound, FilterBlock& block) {
  block.dateUnit = 0;
  block.dateValue = 0;
  if (!bound.checked) return;
  const char unit = unitLetter(kDateUnitLetters, bound.unit);
  if (unit == 'D') {
    block.dateValue = utcOf(bound.date, bound.time);
  } else if (unit == 'T') {
    CalendarTime day;  // a time of day is kept on 2 January 1980
    day.year = 1980;
    day.month = 1;
    day.day = 2;
    block.dateValue = utcOf(day, bound.time);
  } else {
    block.dateValue = leadingNumber(bound.count);
    if (block.dateValue == 0) return;  // a count of 0 is no bound
  }
  block.dateUnit = unit;
}

void readSize(const SizeBoundFields& size, FilterBlock& block) {
  block.sizeUnit = 0;
  block.sizeValue = 0;
  if (!size.checked) return;
  block.sizeUnit = unitLetter(kSizeUnitLetters, size.unit);
  block.sizeValue = leadingNumber(size.number);
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) noexcept {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

GridDay civilFromDays(int64_t z) noexcept {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  GridDay g;
  g.day = static_cast<uint16_t>(doy - (153 * mp + 2) / 5 + 1);
  g.month = static_cast<uint16_t>(mp < 10 ? mp + 3 : mp - 9);
  g.year = static_cast<uint16_t>(static_cast<int64_t>(yoe) + era * 400 + (g.month <= 2));
  return g;
}

// Monday 0 ... Sunday 6.
unsigned mondayWeekday(int64_t days) noexcept { return static_cast<unsigned>(((days % 7) + 7 + 3) % 7); }

}  // namespace

JobEditor::JobEditor(const Job& job)
    : flags_(job.optionFlags), filterOn_(job.filterOn()), filter_(job.filter) {
  includeMasks = filter_.include.masks;
  excludeMasks = filter_.exclude.masks;
  timeKind = filter_.editorFlag1 != 0 ? int{kTimeModified} : int{filter_.timeKind};
  fillBound(lower, filter_.include);
  fillBound(upper, filter_.exclude);
  fillSize(minSize, filter_.include);
  fillSize(maxSize, filter_.exclude);
  for (size_t box = 0; box < kAttributeBoxBits.size(); ++box) {
    const uint16_t bit = kAttributeBoxBits[box];
    attributes[box] = (filter_.include.attributes & bit) != 0   ? TriState::Checked
                      : (filter_.exclude.attributes & bit) != 0 ? TriState::Cleared
                                                                : TriState::Indeterminate;
  }
  for (const std::u16string& entry : job.folderList) {
    if (entry.empty()) continue;
    const FolderSides sides = splitFolderPair(std::u16string_view(entry).substr(1));
    rows_.push_back({entry[0] == kExcludedPairMarker, std::u16string(sides.left), std::u16string(sides.right)});
  }
}

void JobEditor::setOption(size_t row, bool checked) noexcept {
  if (row >= OptionTable.size()) return;
  flags_ = checked ? flags_ | OptionTable[row].bit : flags_ & ~OptionTable[row].bit;
}

void JobEditor::readBoundsInto(Filter& filter) const {
  readBound(lower, filter.include);
  readBound(upper, filter.exclude);
  readSize(minSize, filter.include);
  readSize(maxSize, filter.exclude);
}

void JobEditor::setFilterOn(bool on) {
  if (on == filterOn_) return;
  filterOn_ = on;
  if (!on) {
    readBoundsInto(filter_);
    lower.checked = upper.checked = minSize.checked = maxSize.checked = false;
    return;
  }
  lower.checked = filter_.include.dateUnit != 0;
  upper.checked = filter_.exclude.dateUnit != 0;
  minSize.checked = filter_.include.sizeUnit != 0;
  maxSize.checked = filter_.exclude.sizeUnit != 0;
}

TimeBoundLook JobEditor::look(const TimeBoundFields& bound, bool upperBound) noexcept {
  TimeBoundLook l;
  const char unit = unitLetter(kDateUnitLetters, bound.unit);
  if (unit == 'D' || unit == 'T') {
    l.datePicker = unit == 'D';
    l.timePicker = true;
    l.dateChooser = true;
    l.label = upperBound ? u"<=" : u">=";
  } else {
    l.countField = true;
    l.labelTextId = upperBound ? kTextBefore : kTextWithinTheLast;
  }
  return l;
}

void JobEditor::spin(bool up) noexcept {
  if (!spinEnabled()) return;
  TimeBoundFields& to = up ? upper : lower;
  const TimeBoundFields& from = up ? lower : upper;
  to.date = from.date;
  to.time = from.time;
}

bool JobEditor::attributeBoxEnabled(size_t box) const noexcept {
  return (filter_.include.attributes & kAttributeTestOff) == 0 || box == kFolderBox;
}

void JobEditor::select(int row) noexcept {
  selected_ = row >= 0 && static_cast<size_t>(row) < rows_.size() ? row : -1;
}

FolderButtons JobEditor::folderButtons() const noexcept {
  FolderButtons b;
  if (selected_ < 0) return b;
  b.edit = b.exclude = b.remove = true;
  b.moveUp = selected_ > 0;
  b.moveDown = static_cast<size_t>(selected_) + 1 < rows_.size();
  return b;
}

bool JobEditor::addRow(std::u16string left, std::u16string right) {
  if (folderPairProblem(left, right) != kSuccess) return false;
  rows_.push_back({false, std::move(left), std::move(right)});
  selected_ = static_cast<int>(rows_.size()) - 1;
  return true;
}

bool JobEditor::editSelected(std::u16string left, std::u16string right) {
  if (selected_ < 0 || folderPairProblem(left, right) != kSuccess) return false;
  FolderRow& row = rows_[static_cast<size_t>(selected_)];
  row.left = std::move(left);
  row.right = std::move(right);
  return true;
}

bool JobEditor::toggleExcluded() {
  if (selected_ < 0) return false;
  rows_[static_cast<size_t>(selected_)].excluded = !rows_[static_cast<size_t>(selected_)].excluded;
  return true;
}

bool JobEditor::removeSelected() {
  if (selected_ < 0) return false;
  rows_.erase(rows_.begin() + selected_);
  if (static_cast<size_t>(selected_) >= rows_.size()) selected_ = static_cast<int>(rows_.size()) - 1;
  return true;
}

bool JobEditor::moveUp() {
  if (selected_ <= 0) return false;
  std::swap(rows_[static_cast<size_t>(selected_)], rows_[static_cast<size_t>(selected_) - 1]);
  --selected_;
  return true;
}

bool JobEditor::moveDown() {
  if (selected_ < 0 || static_cast<size_t>(selected_) + 1 >= rows_.size()) return false;
  std::swap(rows_[static_cast<size_t>(selected_)], rows_[static_cast<size_t>(selected_) + 1]);
  ++selected_;
  return true;
}

std::u16string JobEditor::shownPath(std::u16string_view side) {
  std::u16string path = parseFolderSide(side).path;
  if constexpr (os::kBackslashSeparates) {
    for (char16_t& c : path) c = c == u'/' ? u'\\' : c;
  }
  return path;
}

Job JobEditor::apply(const Job& job) const {
  Job out = job;
  out.optionFlags = flags_;
  out.filterSwitch = filterOn_ ? job.filterSwitch | 1u : job.filterSwitch & ~1u;
  out.folderList.clear();
  for (const FolderRow& row : rows_) {
    out.folderList.push_back(std::u16string(1, row.excluded ? kExcludedPairMarker : kIncludedPairMarker) + row.left +
                             u";" + row.right);
  }
  rebuildPairLists(out);
  Filter& f = out.filter;
  f = filter_;
  f.include.masks = includeMasks.substr(0, kMaxFilterMaskChars);
  f.exclude.masks = excludeMasks.substr(0, kMaxFilterMaskChars);
  f.timeKind = static_cast<uint8_t>(timeKind >= kTimeModified && timeKind <= kTimeLastAccess ? timeKind : 0);
  // With the filter switched off the bounds stay as they were read when it was switched
  // off, so that switching it on again later finds them.
  if (filterOn_) readBoundsInto(f);
  f.include.attributes = static_cast<uint16_t>(filter_.include.attributes & kAttributeTestOff);
  f.exclude.attributes = 0;
  for (size_t box = 0; box < kAttributeBoxBits.size(); ++box) {
    if (attributes[box] == TriState::Checked) f.include.attributes |= kAttributeBoxBits[box];
    if (attributes[box] == TriState::Cleared) f.exclude.attributes |= kAttributeBoxBits[box];
  }
  return out;
}

std::u16string copyDateTime(const CalendarTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u", unsigned(t.year), unsigned(t.month),
                unsigned(t.day), unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

bool pasteDateTime(std::u16string_view text, CalendarTime* t) {
  if (text.size() != 14) return false;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
  }
  const auto field = [&](size_t at, size_t length) {
    uint16_t v = 0;
    for (size_t i = at; i < at + length; ++i) v = static_cast<uint16_t>(v * 10 + (text[i] - u'0'));
    return v;
  };
  CalendarTime read;
  read.year = field(0, 4);
  read.month = field(4, 2);
  read.day = field(6, 2);
  read.hour = field(8, 2);
  read.minute = field(10, 2);
  read.second = field(12, 2);
  uint64_t check = 0;
  if (!calendarToFileTime(read, &check)) return false;
  read.dayOfWeek = fileTimeToCalendar(check).dayOfWeek;
  *t = read;
  return true;
}

uint8_t isoWeekNumber(uint16_t year, uint16_t month, uint16_t day) {
  const int64_t days = daysFromCivil(year, month, day);
  // The Thursday of this week decides the year the week belongs to.
  const int64_t thursday = days - mondayWeekday(days) + 3;
  const GridDay t = civilFromDays(thursday);
  const int64_t firstOfYear = daysFromCivil(t.year, 1, 1);
  return static_cast<uint8_t>((thursday - firstOfYear) / 7 + 1);
}

DateGrid dateGrid(uint16_t year, uint16_t month) {
  DateGrid grid;
  if (month < 1 || month > 12) month = 1;
  const int64_t first = daysFromCivil(year, month, 1);
  const int64_t start = first - mondayWeekday(first);
  for (size_t i = 0; i < grid.days.size(); ++i) {
    GridDay d = civilFromDays(start + static_cast<int64_t>(i));
    d.inMonth = d.month == month && d.year == year;
    grid.days[i] = d;
  }
  for (size_t row = 0; row < grid.weekNumbers.size(); ++row) {
    const GridDay& monday = grid.days[row * 7];
    grid.weekNumbers[row] = isoWeekNumber(monday.year, monday.month, monday.day);
  }
  return grid;
}

}  // namespace crvl
