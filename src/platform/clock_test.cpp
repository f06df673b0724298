#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace crvl::platform {
namespace {

TEST(Clock, CurrentTimeIsFileTimeInUtc) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const int64_t unixTicks = std::chrono::duration_cast<std::chrono::microseconds>(now).count() * 10;
  const int64_t fileTime = static_cast<int64_t>(currentFileTime());
  const int64_t expected = unixTicks + 116444736000000000ll;
  EXPECT_LT(std::abs(fileTime - expected), 5 * static_cast<int64_t>(kFileTimeSecond));
}

// Away from daylight changes, local time is UTC shifted by a whole zone offset and
// the conversion goes back exactly (sub-second ticks included).
TEST(Clock, LocalConversionRoundTrips) {
  CalendarTime times[] = {
      {2024, 1, 0, 15, 12, 0, 0, 0},
      {2024, 7, 0, 15, 3, 30, 15, 250},
      {1999, 12, 0, 31, 23, 59, 59, 999},
  };
  for (const CalendarTime& t : times) {
    uint64_t utc = 0;
    ASSERT_TRUE(calendarToFileTime(t, &utc));
    utc += 1234;  // below a millisecond
    const uint64_t local = utcToLocal(utc);
    const int64_t offset = static_cast<int64_t>(local) - static_cast<int64_t>(utc);
    EXPECT_EQ(offset % (15 * 60 * static_cast<int64_t>(kFileTimeSecond)), 0) << t.year;
    EXPECT_LE(std::abs(offset), 14 * static_cast<int64_t>(kFileTimeHour)) << t.year;
    EXPECT_EQ(localToUtc(local), utc) << t.year;
  }
}

}  // namespace
}  // namespace crvl::platform
