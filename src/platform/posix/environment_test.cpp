// The XDG and TMPDIR rules of the POSIX folders, and case-insensitive names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/environment.h"

namespace crvl::platform {
namespace {

// Saves and restores the variables a test changes.
class PosixFolders : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name, value->c_str(), 1);
      } else {
        ::unsetenv(name);
      }
    }
  }
  static constexpr const char* kNames[] = {"XDG_CONFIG_HOME", "HOME", "TMPDIR", "CRVL_Mixed"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(PosixFolders, AppDataFollowsXdgThenHome) {
  struct Case {
    const char* xdg;
    const char* home;
    std::u16string folder;
  };
  const Case cases[] = {
      {"/cfg/dir", "/home/u", u"/cfg/dir"},
      {"/cfg/dir//", "/home/u", u"/cfg/dir"},
      {nullptr, "/home/u", u"/home/u/.config"},
      {"", "/home/u/", u"/home/u/.config"},
      {"relative/cfg", "/home/u", u"/home/u/.config"},  // a relative value is ignored
      {nullptr, "/", u"/.config"},
      {nullptr, nullptr, u""},
  };
  for (const Case& c : cases) {
    if (c.xdg) ::setenv("XDG_CONFIG_HOME", c.xdg, 1); else ::unsetenv("XDG_CONFIG_HOME");
    if (c.home) ::setenv("HOME", c.home, 1); else ::unsetenv("HOME");
    EXPECT_EQ(appDataFolder(), c.folder) << (c.xdg ? c.xdg : "-") << " " << (c.home ? c.home : "-");
  }
}

TEST_F(PosixFolders, TempFollowsTmpdir) {
  ::setenv("TMPDIR", "/var/tmp/", 1);
  EXPECT_EQ(tempFolder(), u"/var/tmp");
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(tempFolder(), u"/tmp");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(tempFolder(), u"/tmp");
}

TEST_F(PosixFolders, NamesInAnotherCaseFindTheVariable) {
  ::setenv("CRVL_Mixed", "value", 1);
  EXPECT_EQ(environmentVariable(u"CRVL_Mixed"), u"value");
  EXPECT_EQ(environmentVariable(u"crvl_mixed"), u"value");
  EXPECT_EQ(expandEnvironmentText(u"%CRVL_MIXED%/x"), u"value/x");
}

}  // namespace
}  // namespace crvl::platform
