#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

namespace crvl::shell {
namespace {

TEST(StartArguments, DelayAndJobNameRules) {
  struct Case {
    std::vector<std::u16string> arguments;  // without argument 0
    uint32_t delay;
    std::u16string job;
  };
  const std::u16string name41(41, u'x');
  const Case cases[] = {
      {{}, 0, u""},
      {{u"Delay=30"}, 30, u""},
      {{u"Delay=999999"}, 86400, u""},  // more than a day waits a day
      {{u"Delay=86400"}, 86400, u""},
      {{u"Delay=99999999999999999999999"}, 86400, u""},  // no wrap-round
      {{u"Delay=abc"}, 0, u""},          // not a number
      {{u"Delay=12abc"}, 12, u""},       // the digits that lead
      {{u"Delay="}, 0, u""},
      {{u"delay=30"}, 0, u"delay=30"},   // compared case-sensitively: a job name
      {{u"DELAY=5", u"Delay=5"}, 5, u"DELAY=5"},
      {{u"Backup"}, 0, u"Backup"},
      {{u"First", u"Second"}, 0, u"Second"},  // a later name replaces an earlier one
      {{u"Delay=2", u"My Job", u"Delay=7"}, 7, u"My Job"},
      {{name41}, 0, name41},  // kept whole, never cut onto another job's name
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> arguments{u"C:\\Corvell\\CRVL.exe"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const StartOptions options = parseStartArguments(arguments);
    EXPECT_EQ(options.delaySeconds, c.delay) << std::string(c.arguments.empty() ? "" : "case");
    EXPECT_EQ(options.jobName, c.job);
  }
}

TEST(StartArguments, ArgumentZeroIsNeverAJobName) {
  EXPECT_EQ(parseStartArguments({u"Delay=5"}).delaySeconds, 0u);
  EXPECT_EQ(parseStartArguments({u"CRVL.exe"}).jobName, u"");
}

TEST(CopyData, AnsiAndUtf16FormsGiveTheSameName) {
  const char ansi[] = "Backup \xE4";  // Windows-1252: a-umlaut
  const std::u16string expected = u"Backup \u00E4";
  EXPECT_EQ(copyDataJobName(0, ansi, sizeof ansi), expected);
  EXPECT_EQ(copyDataJobName(1, ansi, sizeof ansi - 1), expected);  // without terminator
  const std::u16string payload = copyDataPayload(expected);
  ASSERT_EQ(payload.size(), expected.size() + 1);
  EXPECT_EQ(payload.back(), u'\0');
  EXPECT_EQ(copyDataJobName(kCopyDataUtf16, payload.data(), payload.size() * 2), expected);
  EXPECT_EQ(copyDataJobName(7, payload.data(), payload.size() * 2), expected);  // any other dwData
}

TEST(CopyData, LimitsAndMalformedData) {
  const std::u16string longName(2000, u'n');
  EXPECT_EQ(copyDataJobName(2, longName.data(), longName.size() * 2).size(), kMaxCopyDataChars);
  const std::string longAnsi(2000, 'a');
  EXPECT_EQ(copyDataJobName(0, longAnsi.data(), longAnsi.size()).size(), kMaxCopyDataChars);
  EXPECT_EQ(copyDataJobName(2, nullptr, 10), u"");
  EXPECT_EQ(copyDataJobName(2, u"ab", 0), u"");
  // An odd byte count drops the half character at the end.
  EXPECT_EQ(copyDataJobName(2, u"abc", 5), u"ab");
  // The text ends at its first zero.
  const char16_t embedded[] = u"Job\0Rest";
  EXPECT_EQ(copyDataJobName(2, embedded, sizeof embedded), u"Job");
  // Unaligned UTF-16 data is read as well.
  alignas(2) char buffer[16] = {};
  const char16_t text[] = u"Ab";
  std::memcpy(buffer + 1, text, sizeof text);
  EXPECT_EQ(copyDataJobName(2, buffer + 1, sizeof text), u"Ab");
}

}  // namespace
}  // namespace crvl::shell
