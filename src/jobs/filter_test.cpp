#include "jobs/filter.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "jobs/filter_format.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace crvl {
namespace {

uint64_t utc(uint16_t y, uint16_t mo, uint16_t d, uint16_t h = 0, uint16_t mi = 0, uint16_t s = 0) {
  CalendarTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  uint64_t ticks = 0;
  EXPECT_TRUE(calendarToFileTime(t, &ticks));
  return ticks;
}

constexpr uint64_t kDay = 86'400ull * kFileTimeSecond;

Filter parsed(std::string_view text, uint64_t now) {
  Filter f;
  parseFilter(text, f);
  prepareFilter(f, now);
  return f;
}

TEST(MasksMatch, RenameTemplateRules) {
  struct Case {
    const char16_t* masks;
    const char16_t* name;
    bool match;
  } cases[] = {
      {u"*.txt", u"a.TXT", true},
      {u"*.txt", u"readme", false},
      {u"*.txt", u"a.txt.bak", false},
      {u"*.*", u"readme", true},
      {u"*.*", u".profile", true},
      {u"a?", u"a", true},
      {u"a?", u"ab", true},
      {u"a?", u"abc", false},
      {u"?.txt", u"ab.txt", false},
      {u"*", u"any name.x", true},
      {u".", u"whatever", true},
      {u"~*", u"~$report.doc", true},
      {u"~*", u"report~", false},
      {u"a*c", u"aBBBC", true},
      {u"a*c", u"abbbd", false},
      {u"*abc*", u"xxABCyy", true},
      {u"*abc*", u"xxyy", false},
      {u"*.tar.gz", u"b.tar.gz", true},
      {u"*.tar.gz", u"b.gz", false},
      {u"\u00C4*", u"\u00E4b", true},              // case folding beyond ASCII
      {u"*.txt", u"dir/sub/a.txt", true},           // only the name part is tested
      {u"sub/a.txt", u"a.txt", false},              // a mask with a separator matches nothing
      {u"*.doc;*.txt", u"b.txt", true},
      {u"*.txt;;*.doc", u"a.doc", false},           // masks after ";;" are never tried
      {u";*.txt", u"a.txt", false},
      {u"", u"a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(masksMatch(c.masks, c.name), c.match)
        << platform::toUtf8(c.masks) << " / " << platform::toUtf8(c.name);
  }
}

TEST(FilterAccepts, EmptyFilterAcceptsEveryFile) {
  const uint64_t now = utc(2024, 3, 31, 12);
  const Filter f = parsed("+;-", now);
  EXPECT_TRUE(isEmptyFilter(f));
  const FilterEntry entries[] = {
      {u"a.txt", 0x20, 0, 0, now, 0},
      {u"x", 0x7FFF, now, now, 1, kUnknownSize},
      {u"~$.doc", 0x4837, 0, 0, 0, std::numeric_limits<uint64_t>::max() - 1},
  };
  for (const FilterEntry& e : entries) EXPECT_TRUE(filterAccepts(f, e));
}

TEST(FilterAccepts, ReadOnlyRecentDocuments) {
  const uint64_t now = utc(2024, 3, 31, 12);
  const Filter f = parsed("r;aRh;+*.doc;dZ7;-~*", now);
  const uint64_t recent = now - 2 * kDay;
  const uint64_t old = now - 8 * kDay;
  struct Case {
    FilterEntry entry;
    bool accepted;
  } cases[] = {
      {{u"Report.DOC", 0x21, 0, recent, old, 10}, true},
      {{u"Report.doc", 0x23, 0, recent, old, 10}, false},  // hidden
      {{u"Report.doc", 0x20, 0, recent, old, 10}, false},  // not read-only
      {{u"Report.doc", 0x01, 0, old, recent, 10}, false},  // last access too old
      {{u"~Report.doc", 0x01, 0, recent, old, 10}, false},
      {{u"Report.txt", 0x01, 0, recent, old, 10}, false},
      // No access time: the modification time stands in.
      {{u"Report.doc", 0x01, 0, 0, recent, 10}, true},
      {{u"Report.doc", 0x01, 0, 0, old, 10}, false},
      // Bits outside the tested set do not count.
      {{u"Report.doc", 0x481, 0, recent, old, 10}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(filterAccepts(f, c.entry), c.accepted)
        << c.entry.attributes << " " << c.entry.lastAccessTime;
  }
}

TEST(FilterAccepts, PictureSizeRangeIsInclusive) {
  const Filter f = parsed("\"+*.jpg;*.png\";lK10;-;lM5", utc(2024, 1, 1));
  EXPECT_EQ(f.include.sizeLimit, 10240);
  EXPECT_EQ(f.exclude.sizeLimit, 5242880);
  struct Case {
    const char16_t* name;
    uint64_t size;
    bool accepted;
  } cases[] = {
      {u"a.jpg", 10240, true},  {u"a.jpg", 10239, false}, {u"a.PNG", 5242880, true},
      {u"a.png", 5242881, false}, {u"a.gif", 20000, false}, {u"a.png", kUnknownSize, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(filterAccepts(f, {c.name, 0x20, 0, 0, utc(2020, 1, 1), c.size}), c.accepted) << c.size;
  }
}

TEST(FilterAccepts, TimeBoundsAreExactAndInclusive) {
  const uint64_t bound = utc(2023, 6, 1, 8, 30);
  Filter f;
  f.include.dateUnit = 'D';
  f.include.dateValue = static_cast<int64_t>(bound);
  f.exclude.dateUnit = 'D';
  f.exclude.dateValue = static_cast<int64_t>(bound + kDay);
  prepareFilter(f, utc(2024, 1, 1));
  struct Case {
    uint64_t time;
    bool accepted;
  } cases[] = {
      {bound, true}, {bound - 1, false}, {bound + kDay, true}, {bound + kDay + 1, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(filterAccepts(f, {u"a", 0x20, 0, 0, c.time, 1}), c.accepted) << c.time - bound;
  }
}

TEST(FilterAccepts, TimeOfDayBoundIgnoresTheDate) {
  Filter f;
  f.include.dateUnit = 'T';
  f.include.dateValue = static_cast<int64_t>(utc(2001, 5, 5, 9, 0));
  f.exclude.dateUnit = 'T';
  f.exclude.dateValue = static_cast<int64_t>(utc(1999, 1, 1, 17, 0));
  prepareFilter(f, utc(2024, 1, 1));
  EXPECT_EQ(f.include.dateLimit, static_cast<int64_t>(utc(1980, 1, 2, 9, 0)));
  EXPECT_TRUE(filterAccepts(f, {u"a", 0, 0, 0, utc(2024, 7, 7, 9, 0), 1}));
  EXPECT_TRUE(filterAccepts(f, {u"a", 0, 0, 0, utc(2024, 7, 7, 17, 0) + 5000, 1}));  // ms dropped
  EXPECT_FALSE(filterAccepts(f, {u"a", 0, 0, 0, utc(2024, 7, 7, 8, 59, 59), 1}));
  EXPECT_FALSE(filterAccepts(f, {u"a", 0, 0, 0, utc(2010, 7, 7, 17, 0, 1), 1}));
}

TEST(FilterAccepts, MissingCreationTimeUsesModificationTime) {
  const uint64_t now = utc(2024, 3, 31, 12);
  const Filter f = parsed("c;+;dH1;-", now);
  EXPECT_TRUE(filterAccepts(f, {u"a", 0, kUnsetTimeLimit - 1, 0, now - 10, 1}));
  EXPECT_FALSE(filterAccepts(f, {u"a", 0, kUnsetTimeLimit - 1, 0, now - 2 * kDay, 1}));
  EXPECT_FALSE(filterAccepts(f, {u"a", 0, now - 2 * kDay, 0, now, 1}));  // creation counts
}

TEST(FilterAccepts, AttributeRules) {
  struct Case {
    const char* filter;
    uint32_t attributes;
    bool accepted;
  } cases[] = {
      {"aD;+;-", 0x20, false},  // requiring the folder bit rejects every file
      {"aD;+;-", 0x30, true},
      {"ar;+;-", 0x21, false},
      {"ar;+;-", 0x20, true},
      {"aAE;+;-", 0x4020, true},
      {"aAE;+;-", 0x20, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(filterAccepts(parsed(c.filter, 0), {u"a", c.attributes, 0, 0, 0, 1}), c.accepted)
        << c.filter << " " << c.attributes;
  }
  Filter off = parsed("aRH;+;-", 0);
  off.include.attributes |= kAttributeTestOff;
  EXPECT_TRUE(filterAccepts(off, {u"a", 0x20, 0, 0, 0, 1}));
}

TEST(PrepareFilter, RelativeLimitsFollowTheCalendar) {
  const uint64_t now = utc(2024, 3, 31, 12);
  struct Case {
    char unit;
    int64_t count;
    int64_t limit;
  } cases[] = {
      {'S', 30, static_cast<int64_t>(now - 30 * kFileTimeSecond)},
      {'M', 2, static_cast<int64_t>(now - 120 * kFileTimeSecond)},
      {'H', 1, static_cast<int64_t>(now - 3600 * kFileTimeSecond)},
      {'Z', 7, static_cast<int64_t>(now - 7 * kDay)},
      {'W', 2, static_cast<int64_t>(now - 14 * kDay)},
      {'L', 0, static_cast<int64_t>(now)},
      {'L', 1, static_cast<int64_t>(utc(2024, 2, 29, 12))},  // 31 March less a month: clamped
      {'L', 3, static_cast<int64_t>(utc(2023, 12, 31, 12))},  // the year borrows
      {'L', 13, static_cast<int64_t>(utc(2023, 2, 28, 12))},
      {'Y', 1, static_cast<int64_t>(utc(2023, 3, 31, 12))},
      {'Y', 500, 0},                                          // before 1601
      {'Z', std::numeric_limits<int64_t>::max(), 0},          // saturates, no overflow
      {'L', std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()},
      {'Y', std::numeric_limits<int64_t>::max(), 0},
  };
  for (const Case& c : cases) {
    Filter f;
    f.include.dateUnit = c.unit;
    f.include.dateValue = c.count;
    prepareFilter(f, now);
    EXPECT_EQ(f.include.dateLimit, c.limit) << c.unit << c.count;
  }
  Filter leap;
  leap.include.dateUnit = 'Y';
  leap.include.dateValue = 1;
  prepareFilter(leap, utc(2024, 2, 29, 6));
  EXPECT_EQ(leap.include.dateLimit, static_cast<int64_t>(utc(2023, 2, 28, 6)));
}

TEST(PrepareFilter, SizeLimitsSaturate) {
  struct Case {
    char unit;
    int64_t value;
    int64_t limit;
  } cases[] = {
      {'B', 7, 7},
      {'K', 1, 1024},
      {'M', 3, 3 << 20},
      {'G', 2, int64_t{2} << 30},
      {'G', std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max()},
      {'K', std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::min()},
  };
  for (const Case& c : cases) {
    Filter f;
    f.exclude.sizeUnit = c.unit;
    f.exclude.sizeValue = c.value;
    prepareFilter(f, 0);
    EXPECT_EQ(f.exclude.sizeLimit, c.limit) << c.unit << c.value;
  }
}

}  // namespace
}  // namespace crvl
