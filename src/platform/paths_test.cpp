#include "platform/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "os_traits.h"

namespace crvl::platform {
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

TEST(PathForms, NamesTheShortFormWouldAlterTakeTheLongFormAtAnyLength) {
  if constexpr (!os::kDrivePaths) GTEST_SKIP() << "no long forms on this system";
  const FormCase cases[] = {
      {u"C:\\d\\y.", u"\\\\?\\C:\\d\\y."},
      {u"C:\\d\\s ", u"\\\\?\\C:\\d\\s "},
      {u"C:\\Documents.\\x", u"\\\\?\\C:\\Documents.\\x"},
      {u"C:\\d\\nul.txt", u"\\\\?\\C:\\d\\nul.txt"},
      {u"C:\\d\\Com1", u"\\\\?\\C:\\d\\Com1"},
      {u"\\\\srv\\share\\y.", u"\\\\?\\UNC\\srv\\share\\y."},
      {u"C:\\a\\..\\y.", u"\\\\?\\C:\\y."},  // the long form resolves no ".."
      {u"C:\\d\\..\\x", u"C:\\d\\..\\x"},       // ".." alone is no altered name
      {u"C:\\d\\console", u"C:\\d\\console"},
      {u"y.", u"y."},  // a relative path cannot take the long form
  };
  for (const FormCase& c : cases) {
    EXPECT_EQ(toLongPath(c.path), c.expected);
  }
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

// Test paths are written in Windows form; on POSIX "C:\\" becomes "/" and every other
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

TEST(Paths, Normalisation) {
  const PathCase cases[] = {
      {u"C:\\a\\.\\b\\..\\c", u"C:\\a\\c"},
      {u".\\x", u"x"},
      {u"C:\\a\\b\\..\\..\\c", u"C:\\c"},
      {u"C:\\a\\..", u"C:\\"},
      {u"C:\\a\\b\\..\\", u"C:\\a\\"},
      {u"C:\\..\\x", u"C:\\..\\x"},  // nothing above the root: normalisation stops
      {u"..\\x", u"\\x"},
      {u"a\\..\\b", u"b"},
      {u"C:\\a\\...\\b", u"C:\\a\\...\\b"},
      {u"C:\\a\\..b\\c", u"C:\\a\\..b\\c"},
      {u"C:\\a\\b..\\c", u"C:\\a\\b..\\c"},
      {u"C:\\a\\.hidden\\c", u"C:\\a\\.hidden\\c"},
      {u"C:\\a\\.", u"C:\\a\\."},
      {u"", u""},
  };
  for (const PathCase& c : cases) {
    std::u16string path = native(c.source);
    normalizePath(path);
    EXPECT_EQ(path, native(c.expected)) << testing::PrintToString(c.source);
  }
}

TEST(Paths, NormalisationWithSystemSeparators) {
  const PathCase windows[] = {
      {u"C:/a/b/../c", u"C:/a/c"},
      {u"C:\\a/b/c\\..\\d", u"C:/a/b/d"},  // a path written with '/' keeps '/'
      {u"\\\\srv\\sh\\..\\x", u"\\\\srv\\sh\\..\\x"},
      {u"\\\\srv\\sh\\a\\..\\x", u"\\\\srv\\sh\\x"},
      {u"C:\\a\\b.\\c", u"C:\\a\\b.\\c"},
  };
  const PathCase posix[] = {
      {u"/a/b\\..\\c", u"/a/b\\..\\c"},  // a backslash is part of the name
      {u"/a/.\\b", u"/a/.\\b"},
      {u"/a/./b/../c\\d", u"/a/c\\d"},
      {u"/../x", u"/../x"},
  };
  for (const PathCase& c : os::kDrivePaths ? std::vector<PathCase>(std::begin(windows), std::end(windows))
                                           : std::vector<PathCase>(std::begin(posix), std::end(posix))) {
    std::u16string path = c.source;
    normalizePath(path);
    EXPECT_EQ(path, c.expected) << testing::PrintToString(c.source);
  }
}

TEST(Paths, LeadingFolders) {
  struct Case {
    std::u16string path;
    std::u16string folder;
    bool starts;
  };
  const Case cases[] = {
      {u"C:\\Apps\\Sync\\x", u"C:\\Apps\\Sync", true},
      {u"C:\\Apps\\Sync2\\x", u"C:\\Apps\\Sync", false},
      {u"C:\\Apps\\Sync", u"C:\\Apps\\Sync", true},
      {u"C:\\Apps\\Sync\\x", u"C:\\Apps\\Sync\\", true},
      {u"c:\\apps\\sync\\x", u"C:\\APPS\\SYNC", os::kWindows},
      {u"C:\\Apps", u"C:\\Apps\\Sync", false},
      {u"C:\\x", u"", false},
      {u"C:\\\u00E4\u00F6\\x", u"C:\\\u00C4\u00D6", os::kWindows},
      // POSIX names are case sensitive: another case is another folder.
      {u"C:\\srV\\data\\x", u"C:\\srv\\data", os::kWindows},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pathStartsWith(native(c.path), native(c.folder)), c.starts)
        << testing::PrintToString(c.path) << " " << testing::PrintToString(c.folder);
  }
  if constexpr (os::kDrivePaths) {
    EXPECT_TRUE(pathStartsWith(u"C:/Apps/Sync/x", u"C:\\Apps\\Sync"));
    EXPECT_TRUE(pathStartsWith(u"C:x", u"C:"));  // the drive colon ends a folder
  } else {
    EXPECT_FALSE(pathStartsWith(u"/a\\b", u"/a"));  // '\' does not end a component
    EXPECT_FALSE(pathStartsWith(u"/a:b", u"/a"));
  }
}

TEST(Paths, ParentsStopAtRoots) {
  const PathCase parents[] = {
      {u"C:\\a\\b", u"C:\\a"},
      {u"C:\\a", u"C:\\"},
      {u"C:\\a\\", u"C:\\a"},
      {u"a", u""},
      {u"a\\b", u"a"},
  };
  for (const PathCase& c : parents) {
    std::u16string path = native(c.source);
    EXPECT_TRUE(parentOf(path)) << testing::PrintToString(c.source);
    EXPECT_EQ(path, native(c.expected)) << testing::PrintToString(c.source);
  }
  std::vector<std::u16string> roots = {u"", native(u"C:\\")};
  if constexpr (os::kDrivePaths) {
    roots.insert(roots.end(), {u"C:", u"d:/", u"\\\\srv\\share", u"\\\\srv\\share\\", u"\\\\srv",
                               u"\\"});
    std::u16string share = u"\\\\srv\\share\\x";
    EXPECT_TRUE(parentOf(share));
    EXPECT_EQ(share, u"\\\\srv\\share");
  } else {
    std::u16string name = u"/a/b\\c";
    EXPECT_TRUE(parentOf(name));
    EXPECT_EQ(name, u"/a");
  }
  for (const std::u16string& root : roots) {
    std::u16string path = root;
    EXPECT_FALSE(parentOf(path)) << testing::PrintToString(root);
    EXPECT_EQ(path, root);
  }
}

}  // namespace
}  // namespace crvl::platform
