#include "platform/files.h"

#include "platform/test_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <algorithm>
#include <string>
#include <vector>

#include "os_traits.h"
#include "platform/clock.h"

namespace crvl::platform {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  std::u16string pathOf(const std::string& name) const { return testFolder_.path(name); }

  testing::TestFolder testFolder_;
  const fs::path& folder_ = testFolder_.root();
};

std::string pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131u + i / 251u) & 0xFF);
  return bytes;
}

TEST_F(FilesTest, WholeFileRoundTrips) {
  // Sizes around the read buffer and the 16 MiB write pieces.
  const size_t sizes[] = {0, 1, 65535, 65536, 65537, (size_t{16} << 20) + 3};
  const std::u16string path = pathOf("data.bin");
  for (size_t size : sizes) {
    const std::string bytes = pattern(size);
    ASSERT_EQ(writeWholeFile(path, bytes), kSuccess) << size;
    std::string back = "old";
    ASSERT_EQ(readWholeFile(path, back), kSuccess) << size;
    EXPECT_EQ(back.size(), size);
    EXPECT_TRUE(back == bytes) << size;
  }
  // A shorter write truncates.
  ASSERT_EQ(writeWholeFile(path, "abc"), kSuccess);
  std::string back;
  ASSERT_EQ(readWholeFile(path, back), kSuccess);
  EXPECT_EQ(back, "abc");
}

TEST_F(FilesTest, FailuresGiveSystemCodes) {
  ASSERT_EQ(writeWholeFile(pathOf("f"), "x"), kSuccess);
  ASSERT_EQ(createFolderChain(pathOf("d")), kSuccess);
  std::string out = "kept?";
  File file;
  struct Case {
    const char* what;
    ErrorCode got;
    ErrorCode expected;
  } cases[] = {
      {"read missing file", readWholeFile(pathOf("missing"), out), kErrorFileNotFound},
      {"read in missing folder", readWholeFile(pathOf("nofolder/f"), out), kErrorPathNotFound},
      {"read a folder", readWholeFile(pathOf("d"), out), kErrorAccessDenied},
      {"create new over a file", openFile(pathOf("f"), OpenMode::CreateNew, &file),
       kErrorFileExists},
      {"create in missing folder", openFile(pathOf("nofolder/f"), OpenMode::CreateAlways, &file),
       kErrorPathNotFound},
      {"delete missing file", deleteFile(pathOf("missing")), kErrorFileNotFound},
      {"delete in missing folder", deleteFile(pathOf("nofolder/f")), kErrorPathNotFound},
      {"folder chain through a file", createFolderChain(pathOf("f/sub")), kErrorAlreadyExists},
      {"path with NUL", writeWholeFile(pathOf("a") + std::u16string(1, u'\0') + u"b", "x"),
       kErrorInvalidName},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(file.isOpen());
  EXPECT_FALSE(pathExists(pathOf("a")));  // the NUL did not cut the name short
}

TEST_F(FilesTest, OpenModesAndFileObject) {
  const std::u16string path = pathOf("log.txt");
  File file;
  ASSERT_EQ(openFile(path, OpenMode::CreateNew, &file), kSuccess);
  ASSERT_EQ(file.write("one\r\n", 5), kSuccess);
  File moved(std::move(file));
  EXPECT_FALSE(file.isOpen());
  EXPECT_TRUE(moved.isOpen());
  moved.close();
  EXPECT_FALSE(moved.isOpen());

  ASSERT_EQ(openFile(path, OpenMode::OpenOrCreate, &file), kSuccess);
  ASSERT_EQ(file.seekToEnd(), kSuccess);
  ASSERT_EQ(file.write("two\r\n", 5), kSuccess);
  uint64_t size = 0;
  EXPECT_EQ(file.size(&size), kSuccess);
  EXPECT_EQ(size, 10u);
  file = File();

  ASSERT_EQ(openFile(path, OpenMode::Read, &file), kSuccess);
  char buffer[16] = {};
  size_t done = 0;
  ASSERT_EQ(file.read(buffer, sizeof buffer, &done), kSuccess);
  EXPECT_EQ(std::string(buffer, done), "one\r\ntwo\r\n");
  ASSERT_EQ(file.read(buffer, sizeof buffer, &done), kSuccess);
  EXPECT_EQ(done, 0u);
  EXPECT_NE(file.write("x", 1), kSuccess);  // opened for reading only
  file.close();
  EXPECT_EQ(file.read(buffer, 1, &done), kErrorInvalidHandle);

  // ReadWrite never creates.
  EXPECT_EQ(openFile(pathOf("none"), OpenMode::ReadWrite, &file), kErrorFileNotFound);
  EXPECT_FALSE(pathExists(pathOf("none")));
}

TEST_F(FilesTest, AttributesAndRewrites) {
  const std::u16string plain = pathOf("plain.txt");
  const std::u16string dot = pathOf(".hidden");
  ASSERT_EQ(writeWholeFile(plain, "x"), kSuccess);
  ASSERT_EQ(writeWholeFile(dot, "x"), kSuccess);
  EXPECT_EQ(fileAttributes(pathOf("missing")), kInvalidAttributes);
  EXPECT_NE(fileAttributes(pathOf("")) & kAttrFolder, 0u);  // trailing separator
  EXPECT_EQ(fileAttributes(plain) & (kAttrFolder | kAttrReadOnly | kAttrHidden), 0u);
  EXPECT_NE(fileAttributes(folder_.u16string()) & kAttrFolder, 0u);
  EXPECT_TRUE(isFolder(folder_.u16string()));
  EXPECT_FALSE(isFolder(plain));
  EXPECT_TRUE(pathExists(plain));
  if (!os::kWindows) {
    EXPECT_EQ(fileAttributes(plain), kAttrArchive);
    EXPECT_EQ(fileAttributes(dot) & kAttrHidden, kAttrHidden);
  }

  // Read-only is set, seen, and cleared by a whole-file write.
  ASSERT_EQ(setFileAttributes(plain, kAttrReadOnly), kSuccess);
  EXPECT_NE(fileAttributes(plain) & kAttrReadOnly, 0u);
  ASSERT_EQ(writeWholeFile(plain, "new"), kSuccess);
  EXPECT_EQ(fileAttributes(plain) & kAttrReadOnly, 0u);
  std::string back;
  ASSERT_EQ(readWholeFile(plain, back), kSuccess);
  EXPECT_EQ(back, "new");

  // Hidden and system attributes survive a rewrite.
  const std::u16string hidden = os::kWindows ? pathOf("h.ini") : dot;
  if (os::kWindows) {
    ASSERT_EQ(writeWholeFile(hidden, "x"), kSuccess);
    ASSERT_EQ(setFileAttributes(hidden, kAttrHidden | kAttrSystem), kSuccess);
  }
  ASSERT_EQ(writeWholeFile(hidden, "rewritten"), kSuccess);
  EXPECT_NE(fileAttributes(hidden) & kAttrHidden, 0u);
  if (os::kWindows) {
    EXPECT_NE(fileAttributes(hidden) & kAttrSystem, 0u);
  }
  ASSERT_EQ(readWholeFile(hidden, back), kSuccess);
  EXPECT_EQ(back, "rewritten");
}

TEST_F(FilesTest, FolderChainsAndDeletion) {
  const std::u16string deep = pathOf("a/b/c");
  ASSERT_EQ(createFolderChain(deep), kSuccess);
  EXPECT_TRUE(isFolder(deep));
  EXPECT_EQ(createFolderChain(deep), kSuccess);  // existing folders are success
  EXPECT_EQ(createFolderChain(pathOf("a/b/c/d/")), kSuccess);
  EXPECT_TRUE(isFolder(pathOf("a/b/c/d")));

  const std::u16string file = pathOf("a/b/c/f.txt");
  ASSERT_EQ(writeWholeFile(file, "x"), kSuccess);
  EXPECT_EQ(deleteFile(file), kSuccess);
  EXPECT_FALSE(pathExists(file));
  EXPECT_NE(deleteFile(deep), kSuccess);  // not for folders
  EXPECT_TRUE(isFolder(deep));
}

TEST_F(FilesTest, LongPathsWork) {
  std::string relative;
  std::vector<std::u16string> levels;
  while (relative.size() < 300) {
    relative += "folder_with_a_long_name_" + std::to_string(relative.size()) + "/";
    levels.push_back(pathOf(relative));
  }
  const std::u16string folder = pathOf(relative);
  ASSERT_GT(folder.size(), 300u);
  ASSERT_EQ(createFolderChain(folder), kSuccess);
  const std::u16string file = folder + u"settings.ini";
  ASSERT_EQ(writeWholeFile(file, "[A]\r\n"), kSuccess);
  std::string back;
  ASSERT_EQ(readWholeFile(file, back), kSuccess);
  EXPECT_EQ(back, "[A]\r\n");
  EXPECT_NE(fileLastWriteTime(file), 0u);
  EXPECT_EQ(copyFile(file, file + u".bak"), kSuccess);
  EXPECT_TRUE(pathExists(file + u".bak"));
  EXPECT_EQ(deleteFile(file), kSuccess);
  EXPECT_FALSE(pathExists(file));
  EXPECT_EQ(deleteFile(file + u".bak"), kSuccess);

  // Folders have a lower limit than files on Windows (248 characters).
  const size_t base = pathOf("x").size() - 1;  // the folder and its separator
  ASSERT_LT(base + 20, 250u);
  const std::u16string folder250 = pathOf(std::string(250 - base, 'f'));
  ASSERT_EQ(folder250.size(), 250u);
  EXPECT_EQ(createFolderChain(folder250), kSuccess);
  EXPECT_TRUE(isFolder(folder250));
  // The standard library cannot remove folders this deep on Windows; remove them from
  // the bottom in their long form.
  for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
    std::u16string level = *it;
    if (os::kWindows) {
      std::replace(level.begin(), level.end(), u'/', u'\\');
      if (level.size() >= 248) level = u"\\\\?\\" + level;
    }
    std::error_code ec;
    fs::remove(fs::path(level), ec);
  }
}

TEST_F(FilesTest, CopyKeepsContentsAndTime) {
  const std::u16string source = pathOf("src.bin");
  const std::u16string target = pathOf("dst.bin");
  const std::string bytes = pattern(200000);
  ASSERT_EQ(writeWholeFile(source, bytes), kSuccess);
  ASSERT_EQ(writeWholeFile(target, std::string(300000, 'z')), kSuccess);
  fs::last_write_time(folder_ / "src.bin",
                      fs::last_write_time(folder_ / "src.bin") - std::chrono::hours(72));
  ASSERT_EQ(copyFile(source, target), kSuccess);
  std::string back;
  ASSERT_EQ(readWholeFile(target, back), kSuccess);
  EXPECT_TRUE(back == bytes);
  EXPECT_EQ(fileLastWriteTime(target), fileLastWriteTime(source));

  EXPECT_NE(copyFile(source, source), kSuccess);  // never truncates the source
  ASSERT_EQ(readWholeFile(source, back), kSuccess);
  EXPECT_EQ(back.size(), bytes.size());
  EXPECT_EQ(copyFile(pathOf("missing"), target), kErrorFileNotFound);
}

TEST_F(FilesTest, LastWriteTimeIsFileTime) {
  const std::u16string path = pathOf("t.txt");
  const uint64_t before = currentFileTime();
  ASSERT_EQ(writeWholeFile(path, "x"), kSuccess);
  const uint64_t stamp = fileLastWriteTime(path);
  EXPECT_GE(stamp + 60 * kFileTimeSecond, before);
  EXPECT_LE(stamp, currentFileTime() + 60 * kFileTimeSecond);
  EXPECT_EQ(fileLastWriteTime(pathOf("missing")), 0u);
}

TEST(FileNames, Validity) {
  struct Case {
    const char16_t* name;
    bool posix;
    bool windows;
  } cases[] = {
      {u"settings.ini", true, true},
      {u"", false, false},
      {u".", false, false},
      {u"..", false, false},
      {u"a/b", false, false},
      {u"a\\b", true, false},
      {u"a:b", true, false},
      {u"what?", true, false},
      {u"star*", true, false},
      {u"pipe|", true, false},
      {u"quote\"", true, false},
      {u"<x>", true, false},
      {u"tab\t", true, false},
      {u"trailing.", true, false},
      {u"trailing ", true, false},
      {u"CON", true, false},
      {u"nul.txt", true, false},
      {u"com1.log", true, false},
      {u"LPT9", true, false},
      {u"COM0", true, true},
      {u"console", true, true},
      {u".hidden", true, true},
      {u"\u00e9t\u00e9 \u4e2d", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isValidFileName(c.name), os::kWindows ? c.windows : c.posix)
        << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
  }
  EXPECT_TRUE(isValidFileName(std::u16string(255, u'n')));
  EXPECT_FALSE(isValidFileName(std::u16string(256, u'n')));
  EXPECT_FALSE(isValidFileName(std::u16string(u"a\0b", 3)));
}

}  // namespace
}  // namespace crvl::platform
