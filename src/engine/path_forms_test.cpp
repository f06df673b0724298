#include "engine/path_forms.h"

#include <gtest/gtest.h>

#include "os_traits.h"

namespace crvl {
namespace {

struct FormCase {
  std::u16string path;
  std::u16string expected;
};

std::u16string repeat(char16_t c, size_t n) { return std::u16string(n, c); }

// A drive path of exactly `length` characters.
std::u16string drivePath(size_t length) { return u"C:\\" + repeat(u'a', length - 3); }

TEST(PathForms, LongFormsFromTheThreshold) {
  if constexpr (!os::kDrivePaths) GTEST_SKIP() << "no long forms on this system";
  const std::u16string unc = u"\\\\server\\share\\" + repeat(u'u', 260);
  const FormCase cases[] = {
      {u"C:\\short", u"C:\\short"},
      {drivePath(259), drivePath(259)},
      {drivePath(260), u"\\\\?\\" + drivePath(260)},
      {u"\\\\?\\" + drivePath(300), u"\\\\?\\" + drivePath(300)},  // already long
      {unc, u"\\\\?\\UNC\\server\\share\\" + repeat(u'u', 260)},
      {u"C:" + repeat(u'r', 300), u"C:" + repeat(u'r', 300)},  // relative to the drive
      {u"\\\\\\" + repeat(u'x', 300), u"\\\\\\" + repeat(u'x', 300)},  // no server name
      // The system reads only backslashes in the long form.
      {u"C:/" + repeat(u'd', 300), u"\\\\?\\C:\\" + repeat(u'd', 300)},
  };
  for (const FormCase& c : cases) {
    EXPECT_EQ(toLongPath(c.path), c.expected) << c.path.size();
  }
  EXPECT_EQ(fromLongPath(toLongPath(drivePath(400))), drivePath(400));
  EXPECT_EQ(fromLongPath(toLongPath(unc)), unc);
}

TEST(PathForms, FromLongFormUndoesThePrefix) {
  if constexpr (!os::kDrivePaths) GTEST_SKIP() << "no long forms on this system";
  const FormCase cases[] = {
      {u"\\\\?\\C:\\x", u"C:\\x"},
      {u"\\\\?\\UNC\\srv\\sh\\x", u"\\\\srv\\sh\\x"},
      {u"\\\\srv\\sh", u"\\\\srv\\sh"},
      {u"C:\\x", u"C:\\x"},
      {u"", u""},
  };
  for (const FormCase& c : cases) EXPECT_EQ(fromLongPath(c.path), c.expected);
}

TEST(PathForms, RootsOfDriveAndSharePaths) {
  if constexpr (!os::kDrivePaths) GTEST_SKIP() << "drive paths only";
  const FormCase cases[] = {
      {u"C:\\x\\y", u"C:\\"},
      {u"C:\\", u"C:\\"},
      {u"d:", u"d:\\"},
      {u"C:name", u""},
      {u"\\\\server\\share\\x\\y", u"\\\\server\\share"},
      {u"\\\\server\\share", u"\\\\server\\share"},
      {u"\\\\server", u"\\\\"},
      {u"\\x\\y", u"\\"},
      {u"/x", u"/"},
      {u"rel\\x", u""},
      {u"", u""},
      {u"\\\\?\\C:\\long\\x", u"C:\\"},
      {u"\\\\?\\UNC\\srv\\sh\\x", u"\\\\srv\\sh"},
  };
  for (const FormCase& c : cases) EXPECT_EQ(rootOf(c.path), c.expected) << c.path.size();
}

TEST(PathForms, PosixPathsHaveOnlyTheSlashRoot) {
  if constexpr (os::kDrivePaths) GTEST_SKIP() << "POSIX paths only";
  const FormCase roots[] = {
      {u"/x/y", u"/"},
      {u"/", u"/"},
      {u"x/y", u""},
      {u"C:\\x", u""},               // a drive path is an ordinary name here
      {u"\\\\server\\share", u""},  // and so is a backslash
      {u"", u""},
  };
  for (const FormCase& c : roots) EXPECT_EQ(rootOf(c.path), c.expected);
  const std::u16string longPath = u"/" + repeat(u'a', 400);
  EXPECT_EQ(toLongPath(longPath), longPath);
  EXPECT_EQ(fromLongPath(u"\\\\?\\C:\\x"), u"\\\\?\\C:\\x");
}

TEST(PathForms, SeparatorsAndJoining) {
  std::u16string mixed = u"a/b\\c";
  toNativeSeparators(mixed);
  EXPECT_EQ(mixed, os::kBackslashSeparates ? u"a\\b\\c" : u"a/b\\c");

  const std::u16string sep(1, os::kSeparator);
  struct JoinCase {
    std::u16string folder;
    std::u16string name;
    std::u16string expected;
  };
  const JoinCase cases[] = {
      {u"base", u"name", u"base" + sep + u"name"},
      {u"base" + sep, u"name", u"base" + sep + u"name"},
      {u"", u"name", sep + u"name"},
      {u"base", u"x\\y", u"base" + sep + u"x\\y"},
      {u"base/", u"n", u"base/n"},  // "/" separates on both systems
  };
  for (const JoinCase& c : cases) {
    std::u16string folder = c.folder;
    appendPathComponent(folder, c.name);
    EXPECT_EQ(folder, c.expected);
  }
}

}  // namespace
}  // namespace crvl
