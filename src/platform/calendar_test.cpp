#include "platform/clock.h"

#include <gtest/gtest.h>

namespace crvl {
namespace {

struct CalendarCase {
  uint64_t fileTime;
  CalendarTime time;
};

TEST(Calendar, KnownInstantsConvertBothWays) {
  const CalendarCase cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
      {116444736000000000ull, {1970, 1, 4, 1, 0, 0, 0, 0}},  // the Unix epoch, a Thursday
      {kUnsetTimeLimit, {1979, 12, 1, 31, 22, 46, 40, 0}},
      {132223104000000000ull, {2020, 1, 3, 1, 0, 0, 0, 0}},
      {130645440010010000ull, {2015, 1, 4, 1, 0, 0, 1, 1}},
  };
  for (const auto& c : cases) {
    const CalendarTime t = fileTimeToCalendar(c.fileTime);
    EXPECT_EQ(t.year, c.time.year) << c.fileTime;
    EXPECT_EQ(t.month, c.time.month) << c.fileTime;
    EXPECT_EQ(t.day, c.time.day) << c.fileTime;
    EXPECT_EQ(t.dayOfWeek, c.time.dayOfWeek) << c.fileTime;
    EXPECT_EQ(t.hour, c.time.hour) << c.fileTime;
    EXPECT_EQ(t.minute, c.time.minute) << c.fileTime;
    EXPECT_EQ(t.second, c.time.second) << c.fileTime;
    EXPECT_EQ(t.milliseconds, c.time.milliseconds) << c.fileTime;
    uint64_t back = 0;
    ASSERT_TRUE(calendarToFileTime(t, &back));
    EXPECT_EQ(back, c.fileTime);
  }
}

TEST(Calendar, RejectsDaysThatDoNotExist) {
  uint64_t ft = 0;
  EXPECT_FALSE(calendarToFileTime({2023, 2, 0, 29, 0, 0, 0, 0}, &ft));
  EXPECT_TRUE(calendarToFileTime({2024, 2, 0, 29, 0, 0, 0, 0}, &ft));
  EXPECT_FALSE(calendarToFileTime({2024, 13, 0, 1, 0, 0, 0, 0}, &ft));
  EXPECT_FALSE(calendarToFileTime({2024, 4, 0, 31, 0, 0, 0, 0}, &ft));
  EXPECT_FALSE(calendarToFileTime({1600, 12, 0, 31, 0, 0, 0, 0}, &ft));
}

TEST(Calendar, PackedDateTimeKeepsEveryField) {
  const CalendarTime t{2026, 12, 0, 7, 21, 34, 59, 0};
  const PackedDateTime p = packDateTime(t);
  EXPECT_EQ(p & 0x3F, 59u);
  EXPECT_EQ((p >> 6) & 0x3F, 34u);
  EXPECT_EQ((p >> 12) & 0x1F, 21u);
  EXPECT_EQ((p >> 17) & 0x1F, 7u);
  EXPECT_EQ((p >> 22) & 0xF, 12u);
  EXPECT_EQ(p >> 26, 2026u);
  const CalendarTime u = unpackDateTime(p);
  EXPECT_EQ(u.year, 2026);
  EXPECT_EQ(u.month, 12);
  EXPECT_EQ(u.day, 7);
  EXPECT_EQ(u.hour, 21);
  EXPECT_EQ(u.minute, 34);
  EXPECT_EQ(u.second, 59);
  // Packed values order like the times they stand for.
  EXPECT_LT(packDateTime({2026, 1, 0, 31, 23, 59, 59, 0}), packDateTime({2026, 2, 0, 1, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace crvl
