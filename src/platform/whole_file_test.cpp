#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/test_folder.h"
#include "os_traits.h"

namespace crvl {
namespace {

using crvl::testing::TestFolder;
namespace fs = std::filesystem;

// The names in `folder`, to see that no temporary file stayed behind.
std::vector<std::string> namesIn(const std::u16string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(folder))) names.push_back(entry.path().filename().string());
  return names;
}

struct RightsCase {
  const char* what;
  bool exists;
  fs::perms before;         // POSIX permission bits of the old file
  uint32_t attributesBefore;  // Windows attributes of the old file
  fs::perms after;          // POSIX: the new file's permission bits
  uint32_t attributesAfter;   // Windows: hidden, system and read-only of the new file
};

TEST(FileReplacementTest, NewContentsKeepTheOldFilesRights) {
  using P = fs::perms;
  const uint32_t kept = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrReadOnly;
  const RightsCase cases[] = {
      {"new file: owner only", false, P::none, 0, P::owner_read | P::owner_write, 0},
      {"group-readable file", true, P::owner_read | P::owner_write | P::group_read, 0,
       P::owner_read | P::owner_write | P::group_read, 0},
      {"file open to all", true, P::all & ~(P::owner_exec | P::group_exec | P::others_exec), 0,
       P::all & ~(P::owner_exec | P::group_exec | P::others_exec), 0},
      {"read-only file becomes writable", true, P::owner_read | P::group_read | P::others_read,
       platform::kAttrReadOnly, P::owner_read | P::owner_write | P::group_read | P::others_read, 0},
      {"hidden and system are kept", true, P::owner_read | P::owner_write,
       platform::kAttrHidden | platform::kAttrSystem, P::owner_read | P::owner_write,
       platform::kAttrHidden | platform::kAttrSystem},
  };
  for (const RightsCase& c : cases) {
    SCOPED_TRACE(c.what);
    TestFolder folder;
    const std::u16string target = folder.path("s.ini");
    if (c.exists) {
      folder.write("s.ini", "old contents that are longer than the new ones");
      if constexpr (os::kWindows) {
        ASSERT_EQ(platform::setFileAttributes(target, c.attributesBefore), kSuccess);
      } else {
        fs::permissions(fs::path(target), c.before);
      }
    }
    ASSERT_EQ(platform::writeWholeFile(target, "[A]\r\nk=v\r\n"), kSuccess);
    EXPECT_EQ(folder.read("s.ini"), "[A]\r\nk=v\r\n");
    if constexpr (os::kWindows) {
      EXPECT_EQ(platform::fileAttributes(target) & kept, c.attributesAfter);
    } else {
      EXPECT_EQ(fs::status(fs::path(target)).permissions() & P::all, c.after);
    }
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"s.ini"});
  }
}

TEST(FileReplacementTest, MissingFoldersAreCreated) {
  TestFolder folder;
  ASSERT_EQ(platform::writeWholeFile(folder.path("a/b/c/s.ini"), "x"), kSuccess);
  EXPECT_EQ(folder.read("a/b/c/s.ini"), "x");
  EXPECT_EQ(namesIn(folder.path("a/b/c")), std::vector<std::string>{"s.ini"});
}

TEST(FileReplacementTest, FailuresLeaveEverythingAsItWas) {
  TestFolder folder;
  folder.makeFolder("dir.ini");
  folder.write("blocker", "a file where a folder should be");
  struct Case {
    const char* what;
    std::u16string target;
  } cases[] = {
      {"a folder is never replaced", folder.path("dir.ini")},
      {"a folder that cannot be made", folder.path("blocker/s.ini")},
  };
  for (const Case& c : cases) {
    EXPECT_NE(platform::writeWholeFile(c.target, "new"), kSuccess) << c.what;
    EXPECT_TRUE(platform::isFolder(folder.path("dir.ini"))) << c.what;
    EXPECT_EQ(folder.read("blocker"), "a file where a folder should be") << c.what;
    std::vector<std::string> names = namesIn(folder.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"blocker", "dir.ini"})) << c.what;
  }
}

}  // namespace
}  // namespace crvl
