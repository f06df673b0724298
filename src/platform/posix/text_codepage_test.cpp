// The code page that CRVL_CODEPAGE selects on POSIX.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/text.h"

namespace crvl::platform {
namespace {

class CodePageSetting : public testing::Test {
 protected:
  void TearDown() override {
    ::unsetenv("CRVL_CODEPAGE");
    refreshAnsiCodePage();
  }
};

TEST_F(CodePageSetting, Latin1MapsEveryByteToItsOwnCodePoint) {
  ::setenv("CRVL_CODEPAGE", "28591", 1);
  refreshAnsiCodePage();
  EXPECT_EQ(ansiCodePage(), 28591u);
  EXPECT_EQ(ansiToUtf16("\x80\x9F\xE9"), u"\u0080\u009F\u00E9");
  EXPECT_TRUE(ansiRoundTrips(u"\u0080\u00FF"));
  EXPECT_FALSE(ansiRoundTrips(u"\u20AC"));  // the euro sign has no byte in Latin-1
}

TEST_F(CodePageSetting, UnsupportedPagesFallBackTo1252) {
  for (const char* value : {"932", "", "abc", "1252"}) {
    ::setenv("CRVL_CODEPAGE", value, 1);
    refreshAnsiCodePage();
    EXPECT_EQ(ansiCodePage(), 1252u) << value;
    EXPECT_EQ(ansiToUtf16("\x80"), u"\u20AC") << value;
  }
}

}  // namespace
}  // namespace crvl::platform
