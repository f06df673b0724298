#include "jobs/path_macros.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "os_traits.h"
#include "platform/environment.h"

namespace crvl {
namespace {

// Test paths are written in Windows form; on POSIX "C:\" becomes "/" and every other
// backslash "/", so one table serves both builds.
std::u16string native(std::u16string_view path) {
  std::u16string out(path);
  if constexpr (!os::kDrivePaths) {
    if (out.size() >= 3 && out[1] == u':' && out[2] == u'\\') out.erase(0, 2);
    std::replace(out.begin(), out.end(), u'\\', u'/');
  }
  return out;
}

struct PathCase {
  std::u16string source;
  std::u16string expected;
};

class PathMacros : public testing::Test {
 protected:
  void SetUp() override {
    platform::overrideProgramPath(native(u"C:\\Apps\\Sync\\CRVL.exe"));
    for (const char16_t* name : kSaved) saved_.push_back(platform::environmentVariable(name));
    if constexpr (!os::kDrivePaths) {
      platform::setEnvironmentVariable(u"XDG_CONFIG_HOME", u"/crvl-cfg/user");
      platform::setEnvironmentVariable(u"TMPDIR", u"/crvl-tmp");
    }
  }
  void TearDown() override {
    platform::overrideProgramPath({});
    for (size_t i = 0; i < std::size(kSaved); ++i) {
      platform::setEnvironmentVariable(kSaved[i], saved_[i]);
    }
  }
  static void set(std::u16string_view name, std::u16string_view value) {
    platform::setEnvironmentVariable(name, std::u16string(value));
  }
  static constexpr const char16_t* kSaved[] = {
      u"XDG_CONFIG_HOME", u"TMPDIR", u"TEMP", u"CRVL_PM_A", u"CRVL_PM_B", u"CRVL_PM_DATA",
      u"CRVL_PM_SUB", u"CRVL_PM_BAD1", u"CRVL_PM_BAD2", u"CRVL_PM_BAD3"};
  std::vector<std::optional<std::u16string>> saved_;
};

TEST_F(PathMacros, ExpansionOfLeadingMacros) {
  set(u"CRVL_PM_DATA", native(u"Q:\\Data"));
  set(u"CRVL_PM_SUB", u"sub");
  const std::u16string appData = platform::appDataFolder();
  const std::u16string temp = platform::tempFolder();
  ASSERT_FALSE(appData.empty());
  const PathCase cases[] = {
      {u"%MY_PATH%\\Jobs\\a.job", native(u"C:\\Apps\\Sync\\Jobs\\a.job")},
      {u"%my_path%\\x", native(u"C:\\Apps\\Sync\\x")},
      {u"%VEVOVIZOR_PATH%\\x", native(u"C:\\Apps\\Sync\\x")},
      {u"%APPDATA%\\x", appData + native(u"\\x")},
      {u"%TEMP%\\x", temp + native(u"\\x")},
      {u"%CRVL_PM_DATA%\\x", native(u"Q:\\Data\\x")},
      // Further %NAME% parts are expanded too when the leading macro is a variable.
      {u"%CRVL_PM_DATA%\\%CRVL_PM_SUB%\\x", native(u"Q:\\Data\\sub\\x")},
      {u"%CRVL_PM_UNDEFINED%\\x", native(u"%CRVL_PM_UNDEFINED%\\x")},
      {u"%CRVL_PM_UNDEFINED%\\a\\..\\x", native(u"%CRVL_PM_UNDEFINED%\\x")},
      {u"%MY_PATH", u"%MY_PATH"},  // no closing '%'
      {native(u"C:\\x\\%MY_PATH%"), native(u"C:\\x\\%MY_PATH%")},  // not at the start
      {u"", u""},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(expandPath(native(c.source)), c.expected) << testing::PrintToString(c.source);
  }
}

// A variable TEMP that names another folder than the temporary folder changes neither
// direction: a contracted path expands to the folder it was taken from.
TEST_F(PathMacros, TempContractsAndExpandsWithTheSameFolder) {
  const std::u16string elsewhere = native(u"C:\\crvl-elsewhere");
  for (const std::optional<std::u16string>& temp : {std::optional<std::u16string>(elsewhere),
                                                    std::optional<std::u16string>()}) {
    platform::setEnvironmentVariable(u"TEMP", temp);
    const std::u16string folder = platform::tempFolder();
    if (folder.empty()) continue;  // Windows without TEMP has no temporary folder to stand for
    const std::u16string path = folder + native(u"\\x\\tj.job");
    const std::u16string stored = contractPath(path);
    EXPECT_TRUE(stored.starts_with(u"%TEMP%")) << testing::PrintToString(stored);
    EXPECT_EQ(expandPath(stored), path) << testing::PrintToString(stored);
  }
}

TEST_F(PathMacros, RelativePathsHangOffTheProgramFolder) {
  EXPECT_EQ(expandRelativePath(native(u"..\\Data")), native(u"C:\\Apps\\Data"));
  EXPECT_EQ(expandRelativePath(u"../Data"), native(u"C:\\Apps\\Data"));
  EXPECT_EQ(expandRelativePath(native(u"..\\..\\Data\\x")), native(u"C:\\Data\\x"));
  EXPECT_EQ(expandPath(native(u"..\\Data")), native(u"\\Data"));  // a leading ".." is dropped
  EXPECT_EQ(expandRelativePath(native(u"Q:\\x")), native(u"Q:\\x"));
}

TEST_F(PathMacros, ContractionOfKnownFolders) {
  const std::u16string appData = platform::appDataFolder();
  const std::u16string temp = platform::tempFolder();
  const PathCase cases[] = {
      {native(u"C:\\Apps\\Sync\\Jobs\\a.job"), native(u"%MY_PATH%\\Jobs\\a.job")},
      // Another case is the same folder only where names ignore case.
      {native(u"c:\\APPS\\sync\\x"), os::kWindows ? native(u"%MY_PATH%\\x") : native(u"c:\\APPS\\sync\\x")},
      {native(u"C:\\Apps\\Sync"), u"%MY_PATH%"},
      {native(u"C:\\Apps\\Sync2\\x"), native(u"C:\\Apps\\Sync2\\x")},  // not at a boundary
      {appData + native(u"\\Halberic\\x"), native(u"%APPDATA%\\Halberic\\x")},
      {temp + native(u"\\t.log"), native(u"%TEMP%\\t.log")},
      {u"%MY_PATH%\\..\\x", u"%MY_PATH%\\..\\x"},  // stored forms stay as they are
      // ".." is resolved before the folder is matched, never climbing out of a macro.
      {native(u"C:\\Apps\\Sync\\..\\Other\\x"), native(u"C:\\Apps\\Other\\x")},
      {native(u"C:\\Apps\\Sync\\.\\a\\..\\b"), native(u"%MY_PATH%\\b")},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(contractPath(c.source), c.expected) << testing::PrintToString(c.source);
  }
  // Expansion undoes contraction.
  const std::u16string stored = contractPath(native(u"C:\\Apps\\Sync\\Jobs\\a.job"));
  EXPECT_EQ(expandPath(stored), native(u"C:\\Apps\\Sync\\Jobs\\a.job"));
}

TEST_F(PathMacros, VariablesAreTriedInEnvironmentOrder) {
  const std::u16string folder = native(u"Q:\\Users\\Test");
  set(u"CRVL_PM_B", folder);
  set(u"CRVL_PM_A", folder);
  const auto block = platform::environmentBlock();
  auto position = [&](std::u16string_view name) {
    return std::find_if(block.begin(), block.end(), [&](const auto& e) { return e.first == name; });
  };
  ASSERT_NE(position(u"CRVL_PM_A"), block.end());
  ASSERT_NE(position(u"CRVL_PM_B"), block.end());
  const std::u16string first =
      position(u"CRVL_PM_A") < position(u"CRVL_PM_B") ? u"%CRVL_PM_A%" : u"%CRVL_PM_B%";
  EXPECT_EQ(contractPath(folder + native(u"\\Documents\\x")), first + native(u"\\Documents\\x"));
  EXPECT_EQ(expandPath(first + native(u"\\Documents\\x")), folder + native(u"\\Documents\\x"));
}

TEST_F(PathMacros, ValuesThatAreNoFolderNeverServe) {
  // Too short, a list, not a drive (Windows); the root alone, a list, relative (POSIX).
  const std::u16string bad[] = {
      os::kDrivePaths ? u"Q:" : u"/", os::kDrivePaths ? u"Q:\\a;Q:\\b" : u"/a:/b",
      os::kDrivePaths ? u"1:\\q" : u"q/a"};
  set(u"CRVL_PM_BAD1", bad[0]);
  set(u"CRVL_PM_BAD2", bad[1]);
  set(u"CRVL_PM_BAD3", bad[2]);
  const std::u16string paths[] = {native(u"Q:\\a\\x"), bad[1] + native(u"\\x"),
                                  bad[2] + native(u"\\x")};
  for (const std::u16string& path : paths) {
    EXPECT_EQ(contractPath(path).find(u"%CRVL_PM_BAD"), std::u16string::npos)
        << testing::PrintToString(path);
  }
}

TEST_F(PathMacros, StoredPathsCompareAfterExpansion) {
  struct Case {
    std::u16string a;
    std::u16string b;
    bool equal;
  };
  const Case cases[] = {
      {u"%MY_PATH%\\x", u"C:\\APPS\\sync\\X", true},
      {u"..\\Data", u"C:\\Apps\\Data", true},
      {u"C:\\a\\.\\b", u"C:\\A\\B", true},
      {u"C:\\a", u"C:\\b", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pathsEqual(native(c.a), native(c.b)), c.equal) << testing::PrintToString(c.a);
  }
  EXPECT_EQ(pathsEqual(u"C:/a/b", u"C:\\a\\b"), os::kBackslashSeparates);
}

TEST_F(PathMacros, PerUserDataFolder) {
  const std::u16string base = platform::appDataFolder() + native(u"\\Halberic");
  EXPECT_EQ(perUserDataFolder(), base);
  EXPECT_EQ(perUserDataFolder(u"CRVL"), base + native(u"\\CRVL"));
  if constexpr (!os::kDrivePaths) {
    EXPECT_EQ(perUserDataFolder(u"CRVL"), u"/crvl-cfg/user/Halberic/CRVL");
  }
}

TEST_F(PathMacros, BackslashSurvivesInPosixNames) {
  if constexpr (os::kBackslashSeparates) GTEST_SKIP() << "'\\' separates here";
  EXPECT_EQ(expandPath(u"%MY_PATH%/a\\b"), u"/Apps/Sync/a\\b");
  EXPECT_EQ(contractPath(u"/Apps/Sync/a\\b"), u"%MY_PATH%/a\\b");
  EXPECT_EQ(expandRelativePath(u"../x\\y"), u"/Apps/x\\y");
  EXPECT_EQ(perUserDataFolder(u"n\\m"), u"/crvl-cfg/user/Halberic/n\\m");
}

TEST_F(PathMacros, LongResultsAreNeverCut) {
  const std::u16string tail(2000, u'x');
  const std::u16string expanded = expandPath(u"%MY_PATH%" + native(u"\\") + tail);
  const std::u16string folder = native(u"C:\\Apps\\Sync\\");
  EXPECT_EQ(expanded, folder + tail);
  EXPECT_EQ(contractPath(native(u"Q:\\") + tail), native(u"Q:\\") + tail);
  // Megabytes of components are not resolved one by one: handed back as they are,
  // too long for any use.
  std::u16string huge = native(u"Q:\\");
  for (int i = 0; i < 200000; ++i) huge += native(u"a\\..\\.\\");
  EXPECT_EQ(expandPath(huge), huge);
  EXPECT_EQ(contractPath(huge), huge);
  // A surrogate pair past the stored field's limit stays whole.
  const std::u16string prefix = native(u"Q:\\");
  std::u16string paired = prefix + std::u16string(kMaxPathChars - 1 - prefix.size(), u'y');
  paired += u"\xD83D\xDE00zz";
  EXPECT_EQ(contractPath(paired), paired);
  EXPECT_FALSE(fitsStoredPath(paired));
}

}  // namespace
}  // namespace crvl
