#include "platform/environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "os_traits.h"

namespace crvl::platform {
namespace {

class Environment : public testing::Test {
 protected:
  void TearDown() override {
    for (const char16_t* name : {u"CRVL_ENV_A", u"CRVL_ENV_B", u"CRVL_ENV_EMPTY"}) {
      setEnvironmentVariable(name, std::nullopt);
    }
    overrideProgramPath({});
  }
};

TEST_F(Environment, SetReadAndRemoveVariables) {
  EXPECT_FALSE(environmentVariable(u"CRVL_ENV_A").has_value());
  setEnvironmentVariable(u"CRVL_ENV_A", u"v\u00E9\u20AC\u65E5");
  EXPECT_EQ(environmentVariable(u"CRVL_ENV_A"), u"v\u00E9\u20AC\u65E5");
  setEnvironmentVariable(u"CRVL_ENV_EMPTY", u"");
  EXPECT_EQ(environmentVariable(u"CRVL_ENV_EMPTY"), u"");  // set, but empty
  setEnvironmentVariable(u"CRVL_ENV_A", std::nullopt);
  EXPECT_FALSE(environmentVariable(u"CRVL_ENV_A").has_value());
  // A NUL inside a name must not find the variable named by the part before it.
  setEnvironmentVariable(u"CRVL_ENV_B", u"b");
  EXPECT_FALSE(environmentVariable(std::u16string(u"CRVL_ENV_B\0x", 12)).has_value());
  EXPECT_EQ(expandEnvironmentText(std::u16string(u"%CRVL_ENV_B\0x%", 14)),
            std::u16string(u"%CRVL_ENV_B\0x%", 14));
}

TEST_F(Environment, BlockHoldsEveryVariableOnce) {
  setEnvironmentVariable(u"CRVL_ENV_A", u"first=with equals");
  const auto block = environmentBlock();
  const auto count = std::count_if(block.begin(), block.end(),
                                   [](const auto& e) { return e.first == u"CRVL_ENV_A"; });
  EXPECT_EQ(count, 1);
  const auto it = std::find_if(block.begin(), block.end(),
                               [](const auto& e) { return e.first == u"CRVL_ENV_A"; });
  ASSERT_NE(it, block.end());
  EXPECT_EQ(it->second, u"first=with equals");
}

TEST_F(Environment, ExpansionReplacesKnownNamesOnly) {
  setEnvironmentVariable(u"CRVL_ENV_A", u"alpha");
  setEnvironmentVariable(u"CRVL_ENV_B", u"b%CRVL_ENV_A%");
  struct Case {
    std::u16string text;
    std::u16string expanded;
  };
  const Case cases[] = {
      {u"", u""},
      {u"plain", u"plain"},
      {u"%CRVL_ENV_A%\\x", u"alpha\\x"},
      {u"x%CRVL_ENV_A%y%CRVL_ENV_A%z", u"xalphayalphaz"},
      {u"%CRVL_UNDEFINED_VAR%\\x", u"%CRVL_UNDEFINED_VAR%\\x"},
      {u"100% sure", u"100% sure"},  // a lone '%' stays
      {u"%CRVL_ENV_A", u"%CRVL_ENV_A"},
      {u"%CRVL_ENV_B%", u"b%CRVL_ENV_A%"},  // values are not expanded again
  };
  for (const Case& c : cases) {
    EXPECT_EQ(expandEnvironmentText(c.text), c.expanded) << testing::PrintToString(c.text);
  }
}

TEST_F(Environment, ProgramPathCanBeOverridden) {
  const std::u16string real = programPath();
  ASSERT_FALSE(real.empty());
  EXPECT_NE(real.find(u"platform_test"), std::u16string::npos);
  const std::u16string path = os::kDrivePaths ? u"C:\\Apps\\Sync\\CRVL.exe" : u"/opt/sync/crvl";
  overrideProgramPath(path);
  EXPECT_EQ(programPath(), path);
  EXPECT_EQ(programFolder(), os::kDrivePaths ? u"C:\\Apps\\Sync" : u"/opt/sync");
  overrideProgramPath({});
  EXPECT_EQ(programPath(), real);
}

TEST_F(Environment, WellKnownFoldersAreAbsolute) {
  for (const std::u16string& folder : {tempFolder(), windowsFolder()}) {
    ASSERT_FALSE(folder.empty());
    if constexpr (os::kDrivePaths) {
      EXPECT_EQ(folder[1], u':') << testing::PrintToString(folder);
    } else {
      EXPECT_EQ(folder[0], u'/') << testing::PrintToString(folder);
    }
  }
}

TEST_F(Environment, CurrentFolderChangesOrReportsTheMissingFolder) {
  const std::filesystem::path saved = std::filesystem::current_path();
  const std::u16string temp = tempFolder();
  EXPECT_EQ(setCurrentFolder(temp), 0u);
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(),
                                          std::filesystem::path(temp)));
  std::u16string missing = temp;
  missing += os::kSeparator;
  missing += u"crvl-no-such-folder-4711";
  EXPECT_EQ(setCurrentFolder(missing), 2u);
  std::filesystem::current_path(saved);
}

}  // namespace
}  // namespace crvl::platform
