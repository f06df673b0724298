// Zone conversion with the daylight rule of each date, under fixed zones.
#include <gtest/gtest.h>

#include <time.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace crvl::platform {
namespace {

class Zone : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
  }
  void TearDown() override {
    if (saved_) ::setenv("TZ", saved_->c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
  }
  static void use(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  static uint64_t at(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi) {
    uint64_t t = 0;
    EXPECT_TRUE(calendarToFileTime({y, mo, 0, d, h, mi, 0, 0}, &t));
    return t;
  }
  std::optional<std::string> saved_;
};

TEST_F(Zone, DaylightRuleOfTheDate) {
  struct Case {
    const char* zone;
    uint64_t utc;
    uint64_t local;
  };
  const Case cases[] = {
      {"Europe/Berlin", at(2024, 1, 15, 12, 0), at(2024, 1, 15, 13, 0)},
      {"Europe/Berlin", at(2024, 7, 15, 12, 0), at(2024, 7, 15, 14, 0)},
      // The spring change: 01:00 UTC is 03:00 summer time, 00:59 UTC still 01:59.
      {"Europe/Berlin", at(2024, 3, 31, 1, 0), at(2024, 3, 31, 3, 0)},
      {"Europe/Berlin", at(2024, 3, 31, 0, 59), at(2024, 3, 31, 1, 59)},
      {"America/New_York", at(2023, 11, 5, 12, 0), at(2023, 11, 5, 7, 0)},
      {"America/New_York", at(2023, 8, 1, 3, 0), at(2023, 7, 31, 23, 0)},
      {"UTC", at(2024, 7, 15, 12, 0), at(2024, 7, 15, 12, 0)},
  };
  for (const Case& c : cases) {
    use(c.zone);
    EXPECT_EQ(utcToLocal(c.utc), c.local) << c.zone;
    EXPECT_EQ(localToUtc(c.local), c.utc) << c.zone;
  }
}

}  // namespace
}  // namespace crvl::platform
