#include "jobs/filter_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "jobs/marked_text.h"
#include "platform/clock.h"

namespace crvl {
namespace {

std::string packedText(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  CalendarTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return std::to_string(packDateTime(t));
}

uint64_t utc(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
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

TEST(FilterString, ExamplesParseIntoTheirFields) {
  Filter f;
  parseFilter("r;aRh;+*.doc;dZ7;-~*", f);
  EXPECT_EQ(f.timeKind, kTimeLastAccess);
  EXPECT_EQ(f.include.attributes, 0x1);
  EXPECT_EQ(f.exclude.attributes, 0x2);
  EXPECT_EQ(f.include.masks, u"*.doc");
  EXPECT_EQ(f.include.dateUnit, 'Z');
  EXPECT_EQ(f.include.dateValue, 7);
  EXPECT_EQ(f.exclude.masks, u"~*");
  EXPECT_EQ(f.exclude.dateUnit, 0);

  parseFilter("\"+*.jpg;*.png\";lK10;-;lM5", f);
  EXPECT_EQ(f.include.masks, u"*.jpg;*.png");
  EXPECT_EQ(f.include.sizeUnit, 'K');
  EXPECT_EQ(f.include.sizeValue, 10);
  EXPECT_EQ(f.exclude.masks, u"");
  EXPECT_EQ(f.exclude.sizeUnit, 'M');
  EXPECT_EQ(f.exclude.sizeValue, 5);

  parseFilter("+*.txt;;*.doc", f);  // the empty item ends the string
  EXPECT_EQ(f.include.masks, u"*.txt");
  EXPECT_EQ(f.exclude.masks, u"");

  parseFilter("c;w;+;-", f);
  EXPECT_EQ(f.timeKind, kTimeModified);

  parseFilter("+a;-b;+c", f);  // "+" after "-" sets the exclude block's masks
  EXPECT_EQ(f.include.masks, u"a");
  EXPECT_EQ(f.exclude.masks, u"c");

  parseFilter("+;dD" + packedText(2024, 1, 5, 10, 0, 0) + ";-", f);
  EXPECT_EQ(f.include.dateValue, static_cast<int64_t>(utc(2024, 1, 5, 10, 0, 0)));
}

TEST(FilterString, FormattingWhatWasParsedGivesTheSameString) {
  const std::string date = packedText(2024, 1, 5, 10, 0, 0);
  const std::string time = packedText(1980, 1, 2, 23, 59, 59);
  const std::string cases[] = {
      "+;-",
      "r;aRh;+*.doc;dZ7;-~*",
      "\"+*.jpg;*.png\";lK10;-;lM5",
      "c;aDArSHcE;+a?;dD" + date + ";lB0;-b*;dT" + time + ";lG2",
      "+;dL-3;-;dY2;lK9223372036854775807",
      "+;dD0;-",
      "\xEF\xBB\xBF+*.\xD0\xB6\xD0\xBF;-",  // a mask outside the code page, as marked text
      "\"+say \"\"hi\"\"\";-",
  };
  for (const std::string& text : cases) {
    Filter f;
    parseFilter(text, f);
    EXPECT_EQ(formatFilter(f), text);
    Filter again;
    parseFilter(formatFilter(f), again);
    EXPECT_EQ(again, f) << text;
  }
}

TEST(FilterString, TimeOfDayIsWrittenOnTheSecondOfJanuary1980) {
  Filter f;
  f.include.dateUnit = 'T';
  f.include.dateValue = static_cast<int64_t>(utc(2022, 8, 9, 7, 6, 5)) + 1234567;  // with ms
  EXPECT_EQ(formatFilter(f), "+;dT" + packedText(1980, 1, 2, 7, 6, 5) + ";-");
  f.include.dateValue = static_cast<int64_t>(kUnsetTimeLimit) - 1;
  f.include.dateUnit = 'D';
  EXPECT_EQ(formatFilter(f), "+;dD0;-");
}

// Date items the program would not write itself (a time of day on another day, a date
// before 1980) read as the filter they are written as.
TEST(FilterString, DateItemsReadBackAsWritten) {
  const std::string cases[] = {
      "+;dT" + packedText(2022, 8, 9, 7, 6, 5) + ";-",
      "-;dT" + packedText(1601, 1, 1, 0, 0, 1),
      "+;dD" + packedText(1979, 6, 1, 12, 0, 0) + ";-",
  };
  for (const std::string& text : cases) {
    Filter f;
    parseFilter(text, f);
    Filter again;
    parseFilter(formatFilter(f), again);
    EXPECT_EQ(again, f) << text << " written as " << formatFilter(f);
  }
}

TEST(FilterString, MalformedStringsGiveDefinedFilters) {
  const std::string longMask = "+" + std::string(400, 'x');
  struct Case {
    std::string text;
    const char* formatted;
  } cases[] = {
      {"", "+;-"},
      {";+a", "+;-"},
      {"d", "+;-"},                // no unit
      {"dZ", "+;dZ0;-"},
      {"dQ5;+a;-", "+a;-"},        // not a unit letter
      {"lX9;-", "+;-"},
      {"+;dZ99999999999999999999999;-", "+;dZ9223372036854775807;-"},
      {"+;lK-99999999999999999999999;-", "+;lK-9223372036854775808;-"},
      {"+;dZ12abc;-", "+;dZ12;-"},
      {"+;dD-5;-", "+;dD0;-"},
      {"+;dD99999999999;-", "+;dD0;-"},  // fields that are no date
      {"\"+abc", "+;-"},                 // unbalanced quote: one unknown item
      {"aXYZ;+;-", "+;-"},
      {"\xEF\xBB\xBF+\xFF\xFE;-", nullptr},  // invalid UTF-8: anything, but no crash
      {"+a\r\n-b", "+a;-"},
  };
  for (const Case& c : cases) {
    Filter f;
    parseFilter(c.text, f);
    if (c.formatted) {
      EXPECT_EQ(formatFilter(f), c.formatted) << c.text;
    }
  }
  Filter f;
  parseFilter(longMask, f);
  EXPECT_EQ(f.include.masks.size(), kMaxFilterMaskChars);
}

}  // namespace
}  // namespace crvl
