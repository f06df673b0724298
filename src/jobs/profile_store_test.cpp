#include "jobs/profile_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "jobs/marked_text.h"
#include "platform/files.h"
#include "platform/test_folder.h"

namespace crvl {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A fresh folder per test, removed afterwards.
class StoreTest : public ::testing::Test {
 protected:
  std::u16string pathOf(const std::string& name) const { return testFolder_.path(name); }

  void writeBytes(const std::string& name, const std::string& bytes) const {
    testFolder_.write(name, bytes);
  }

  std::string readBytes(const std::string& name) const {
    std::string bytes;
    EXPECT_EQ(platform::readWholeFile(pathOf(name), bytes), kSuccess);
    return bytes;
  }

  // Opens `store` on a file holding `bytes`.
  void openWith(ProfileStore& store, const std::string& bytes, const std::string& name = "s.ini") {
    writeBytes(name, bytes);
    store.openStore(pathOf(name), kStoreOwnFile);
  }

  testing::TestFolder testFolder_;
  const fs::path& folder_ = testFolder_.root();
};

struct PutCase {
  const char* what;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST_F(StoreTest, PutStringGivesExactText) {
  const PutCase cases[] = {
      {"empty store", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
      {"key before blank line and next section", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "A", "k",
       "v", "[A]\r\nx=1\r\nk=v\r\n\r\n[B]\r\ny=2\r\n"},
      {"key into section directly followed by the next", "[A]\r\nx=1\r\n[B]\r\n", "A", "k", "v",
       "[A]\r\nx=1\r\nk=v\r\n[B]\r\n"},
      {"key into last section", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "B", "k", "v",
       "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\nk=v\r\n"},
      {"new section after text ending in CR LF", "[A]\r\nx=1\r\n", "B", "k", "v",
       "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n"},
      {"new section after a trailing blank line", "[A]\r\nx=1\r\n\r\n", "B", "k", "v",
       "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n"},
      {"new section after text without line end", "[A]\r\nx=1", "B", "k", "v",
       "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n"},
      {"key after last line without line end", "[A]\r\nx=1", "A", "k", "v",
       "[A]\r\nx=1\r\nk=v\r\n"},
      {"key into header-only section at the end", "[A]", "A", "k", "v", "[A]\r\nk=v\r\n"},
      {"key into empty section before another", "[A]\r\n\r\n[B]\r\n", "A", "k", "v",
       "[A]\r\nk=v\r\n\r\n[B]\r\n"},
      {"shorter value", "[A]\r\nx=long\r\ny=2\r\n", "A", "x", "s", "[A]\r\nx=s\r\ny=2\r\n"},
      {"longer value keeps blanks around '='", "[A]\r\nDelay = 5\r\n", "A", "Delay", "123",
       "[A]\r\nDelay = 123\r\n"},
      {"value ending the text", "[A]\r\nx=1", "A", "x", "22", "[A]\r\nx=22"},
      {"only the first of two equal keys", "[A]\r\nx=1\r\nx=2\r\n", "A", "x", "3",
       "[A]\r\nx=3\r\nx=2\r\n"},
      {"only the first of two equal sections", "[A]\r\nx=1\r\n[A]\r\nx=2\r\n", "A", "x", "3",
       "[A]\r\nx=3\r\n[A]\r\nx=2\r\n"},
      {"LF-only file", "[A]\nx=1\n", "A", "k", "v", "[A]\nx=1\nk=v\r\n"},
      {"first header after a byte order mark", "\xEF\xBB\xBF[A]\r\nx=1\r\n", "A", "k", "v",
       "\xEF\xBB\xBF[A]\r\nx=1\r\nk=v\r\n"},
      {"store holding only a byte order mark", "\xEF\xBB\xBF", "S", "k", "v",
       "\xEF\xBB\xBF[S]\r\nk=v\r\n"},
      {"value holding ';' stored as it is", "", "S", "k", "a;\"b\"", "[S]\r\nk=a;\"b\"\r\n"},
      {"section names are case-sensitive", "[a]\r\nk=1\r\n", "A", "k", "2",
       "[a]\r\nk=1\r\n\r\n[A]\r\nk=2\r\n"},
  };
  for (const PutCase& c : cases) {
    ProfileStore store;
    openWith(store, c.before);
    store.putString(c.section, c.key, c.value);
    EXPECT_EQ(store.text(), c.after) << c.what;
    EXPECT_TRUE(store.isDirty()) << c.what;
  }
}

TEST_F(StoreTest, SameValueLeavesStoreClean) {
  ProfileStore store;
  openWith(store, "[A]\r\nx = 1\r\n");
  store.putString("A", "x", "1");
  EXPECT_FALSE(store.isDirty());
  store.putInt("A", "x", 1);
  EXPECT_FALSE(store.isDirty());
}

TEST_F(StoreTest, RefusesTextThatWouldBreakTheFile) {
  ProfileStore store;
  const std::string before = "[A]\r\nx=1\r\n";
  openWith(store, before);
  const std::string nul("a\0b", 3);
  struct Bad { std::string section, key, value; } bad[] = {
      {"A", "x", "1\r\n[B]"}, {"A", "x", "v\n"}, {"A", "x", nul}, {"A", "k\r", "1"},
      {"A", "a=b", "1"},      {"A", "", "1"},    {"A", "[k", "1"}, {"A]", "k", "1"},
      {"A\n", "k", "1"},      {"A", "k ", "1"},
  };
  for (const Bad& b : bad) {
    store.putString(b.section, b.key, b.value);
    EXPECT_EQ(store.text(), before) << b.section << "/" << b.key;
  }
  EXPECT_FALSE(store.isDirty());
}

struct GetCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  bool found;
  std::string value;
};

TEST_F(StoreTest, FindsKeysByTheLineRules) {
  const GetCase cases[] = {
      {"leading blank hides the key", "[A]\r\n Delay=5\r\n", "A", "Delay", false, ""},
      {"blanks around '='", "[A]\r\nDelay = 5\r\n", "A", "Delay", true, "5"},
      {"tab before '='", "[A]\r\nDelay\t= 5\r\n", "A", "Delay", true, "5"},
      {"longer key is another key", "[A]\r\nOption=1\r\n", "A", "Opt", false, ""},
      {"keys are case-sensitive", "[A]\r\ndelay=5\r\n", "A", "Delay", false, ""},
      {"sections are case-sensitive", "[a]\r\nk=5\r\n", "A", "k", false, ""},
      {"first of two keys", "[A]\r\nk=1\r\nk=2\r\n", "A", "k", true, "1"},
      {"first of two sections", "[A]\r\nz=0\r\n[A]\r\nk=2\r\n", "A", "k", false, ""},
      {"key of another section", "[A]\r\nx=1\r\n[B]\r\nk=2\r\n", "A", "k", false, ""},
      {"lone CR lines", "[A]\rx=1\r[B]\rk=2\r", "B", "k", true, "2"},
      {"lone LF lines", "[A]\nx=1\n[B]\nk=2", "B", "k", true, "2"},
      {"mixed line ends", "[A]\r\nx=1\r[B]\nj=0\r\nk=2\n", "B", "k", true, "2"},
      {"line starting with '[' ends the section", "[A]\r\n[junk\r\nk=1\r\n", "A", "k", false,
       ""},
      {"text after the header's ']'", "[A] old\r\nk=1\r\n", "A", "k", true, "1"},
      {"header needs ']' right after the name", "[AB]\r\nk=1\r\n", "A", "k", false, ""},
      {"line without '='", "[A]\r\nk\r\nk=2\r\n", "A", "k", true, "2"},
      {"blank lines skipped", "[A]\r\n\r\n\r\nk=2\r\n", "A", "k", true, "2"},
      {"value keeps trailing blanks and ';'", "[A]\r\nk= a;b \r\n", "A", "k", true, "a;b "},
      {"empty value", "[A]\r\nk=\r\n", "A", "k", true, ""},
      {"value ends the text", "[A]\r\nk=end", "A", "k", true, "end"},
      {"header after byte order mark", "\xEF\xBB\xBF[A]\r\nk=1\r\n", "A", "k", true, "1"},
      {"NUL inside a value", "[A]\r\nk=a\0b\r\n"s, "A", "k", true, "a\0b"s},
      {"NUL inside a header", "[A\0]\r\nk=1\r\n"s, "A", "k", false, ""},
  };
  for (const GetCase& c : cases) {
    ProfileStore store;
    openWith(store, c.text);
    std::string out = "unchanged";
    EXPECT_EQ(store.getString(c.section, c.key, nullptr, out), c.found) << c.what;
    EXPECT_EQ(out, c.value) << c.what;
  }
}

TEST_F(StoreTest, DefaultsAndCapacity) {
  ProfileStore store;
  openWith(store, "[A]\r\nempty=\r\nlong=abcdef\r\n");
  std::string out;
  EXPECT_TRUE(store.getString("A", "empty", "dflt", out));
  EXPECT_EQ(out, "dflt");
  EXPECT_FALSE(store.getString("A", "missing", "dflt", out));
  EXPECT_EQ(out, "dflt");
  EXPECT_FALSE(store.getString("B", "long", nullptr, out));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(store.getString("A", "long", nullptr, out, 4));
  EXPECT_EQ(out, "abc");
  EXPECT_TRUE(store.getString("A", "long", nullptr, out, 0));
  EXPECT_EQ(out, "");
}

TEST_F(StoreTest, GetIntParsesWithWrapAround) {
  struct { std::string value; uint32_t expected; } cases[] = {
      {"5", 5},
      {"-1", 0xFFFFFFFFu},
      {"-0", 0},
      {"4294967295", 4294967295u},
      {"4294967296", 0},  // wraps like the unsigned parse
      {"12abc", 12},
      {"abc", 0},
      {"-", 0},
      {"", 77},  // empty gives the default
      {"99999999999", static_cast<uint32_t>(99999999999ull % 4294967296ull)},
  };
  for (const auto& c : cases) {
    ProfileStore store;
    openWith(store, "[A]\r\nn=" + c.value + "\r\n");
    EXPECT_EQ(store.getInt("A", "n", 77), c.expected) << c.value;
  }
  // Only 63 bytes are read: a 64th digit does not count.
  uint32_t expected63 = 0;
  for (int i = 0; i < 63; ++i) expected63 = expected63 * 10u + 1u;
  ProfileStore store;
  openWith(store, "[A]\r\nn=" + std::string(64, '1') + "\r\n");
  EXPECT_EQ(store.getInt("A", "n", 77), expected63);
  EXPECT_EQ(store.getInt("A", "missing", 77), 77u);
  store.putInt("A", "m", 4294967295u);
  EXPECT_EQ(store.getInt("A", "m", 0), 4294967295u);
}

TEST_F(StoreTest, DeleteKeyAndSection) {
  struct {
    const char* what;
    std::string before;
    bool wholeSection;
    const char* section;
    const char* key;
    std::string after;
  } cases[] = {
      {"key line with CR LF", "[A]\r\nx=1\r\nk=2\r\ny=3\r\n", false, "A", "k",
       "[A]\r\nx=1\r\ny=3\r\n"},
      {"last key without line end", "[A]\r\nx=1\r\nk=2", false, "A", "k", "[A]\r\nx=1\r\n"},
      {"lone CR line", "[A]\rk=2\ry=3", false, "A", "k", "[A]\ry=3"},
      {"missing key", "[A]\r\nx=1\r\n", false, "A", "k", "[A]\r\nx=1\r\n"},
      {"section up to the next one", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", true, "A", "",
       "[B]\r\ny=2\r\n"},
      {"last section", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", true, "B", "", "[A]\r\nx=1\r\n\r\n"},
      {"only the first of two", "[A]\r\nx=1\r\n[A]\r\ny=2\r\n", true, "A", "", "[A]\r\ny=2\r\n"},
  };
  for (const auto& c : cases) {
    ProfileStore store;
    openWith(store, c.before);
    if (c.wholeSection) {
      store.deleteSection(c.section);
    } else {
      store.deleteKey(c.section, c.key);
    }
    EXPECT_EQ(store.text(), c.after) << c.what;
    EXPECT_EQ(store.isDirty(), c.before != c.after) << c.what;
  }
  // After removing the last section, a new one still gets exactly one blank line.
  ProfileStore store;
  openWith(store, "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  store.deleteSection("B");
  store.putString("C", "k", "v");
  EXPECT_EQ(store.text(), "[A]\r\nx=1\r\n\r\n[C]\r\nk=v\r\n");
}

struct Seen {
  std::vector<std::pair<std::string, std::string>> pairs;
  size_t stopAfter = SIZE_MAX;
  ProfileStore* store = nullptr;
};

int collect(void* context, std::string_view key, std::string_view value) {
  auto* seen = static_cast<Seen*>(context);
  seen->pairs.emplace_back(key, value);
  if (seen->store != nullptr) seen->store->deleteSection("A");  // changes the text under us
  return seen->pairs.size() >= seen->stopAfter ? 1 : 0;
}

int collectKey(void* context, std::string_view key) {
  static_cast<Seen*>(context)->pairs.emplace_back(key, "");
  return 0;
}

TEST_F(StoreTest, EnumeratesKeyLinesInOrder) {
  ProfileStore store;
  openWith(store,
           "[A]\r\n2=b\r\n\r\n1 = a\r\nno value line\r\n=nokey\r\n   =blank key\r\n"
           " lead=x\r\nk=\r\n[B]\r\nz=9\r\n");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"2", "b"}, {"1", "a"}, {" lead", "x"}, {"k", ""}};
  Seen all;
  EXPECT_EQ(store.enumerateSection("A", collect, &all), 4);
  EXPECT_EQ(all.pairs, expected);

  Seen first;
  first.stopAfter = 2;
  EXPECT_EQ(store.enumerateSection("A", collect, &first), 2);
  EXPECT_EQ(first.pairs.size(), 2u);

  Seen keys;
  EXPECT_EQ(store.enumerateSectionKeys("A", collectKey, &keys), 4);
  ASSERT_EQ(keys.pairs.size(), 4u);
  EXPECT_EQ(keys.pairs[2].first, " lead");

  Seen none;
  EXPECT_EQ(store.enumerateSection("missing", collect, &none), 0);

  // A callback that removes the section sees the section as it was.
  Seen changing;
  changing.store = &store;
  EXPECT_EQ(store.enumerateSection("A", collect, &changing), 4);
  EXPECT_EQ(changing.pairs, expected);
  EXPECT_EQ(store.text(), "[B]\r\nz=9\r\n");
}

TEST_F(StoreTest, TextValuesRoundTrip) {
  ProfileStore store;
  openWith(store, "");
  const std::u16string values[] = {u"plain", u"caf\u00e9", u"\u03a9mega \u4e2d",
                                   u"pair \U0001F600", u"lone \xD800 half", u""};
  int i = 0;
  for (const std::u16string& v : values) {
    const std::string key = "t" + std::to_string(i++);
    store.putText("T", key, v);
    std::u16string out;
    store.getText("T", key, nullptr, out);
    EXPECT_EQ(out, v) << key;
  }
  std::string raw;
  store.getString("T", "t0", nullptr, raw);
  EXPECT_EQ(raw, "plain");
  store.getString("T", "t1", nullptr, raw);
  EXPECT_EQ(raw, "caf\xE9");  // fits the code page: no marker
  store.getString("T", "t2", nullptr, raw);
  EXPECT_TRUE(raw.starts_with(kUtf8Marker));

  std::u16string out;
  EXPECT_FALSE(store.getText("T", "missing", u"dflt", out));
  EXPECT_EQ(out, u"dflt");
  EXPECT_FALSE(store.getText("T", "missing", nullptr, out));
  EXPECT_EQ(out, u"");
  EXPECT_TRUE(store.getText("T", "t2", nullptr, out, 3));
  EXPECT_EQ(out, u"\u03a9m");
}

TEST_F(StoreTest, FileWithByteOrderMarkReadsAsUtf8) {
  ProfileStore store;
  openWith(store, "\xEF\xBB\xBF[S]\r\nname=caf\xC3\xA9\r\nemoji=\xF0\x9F\x98\x80!\r\n");
  EXPECT_TRUE(store.isUtf8File());
  std::u16string out;
  EXPECT_TRUE(store.getText("S", "name", nullptr, out));
  EXPECT_EQ(out, u"caf\u00e9");
  EXPECT_TRUE(store.getText("S", "emoji", nullptr, out));
  EXPECT_EQ(out, u"\U0001F600!");
  // Text written into such a file must read back the same, even when it would fit
  // the code page.
  store.putText("S", "more", u"na\u00efve \u4e2d");
  EXPECT_TRUE(store.getText("S", "more", nullptr, out));
  EXPECT_EQ(out, u"na\u00efve \u4e2d");
}

TEST_F(StoreTest, FlushWritesOnlyChanges) {
  writeBytes("s.ini", "[A]\r\nx=1\r\n");
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(folder_ / "s.ini", old);
  const uint64_t stamp = platform::fileLastWriteTime(pathOf("s.ini"));
  ASSERT_NE(stamp, 0u);
  {
    ProfileStore store;
    store.openStore(pathOf("s.ini"), kStoreOwnFile);
    store.putString("A", "x", "1");  // same value: clean
    EXPECT_EQ(store.flushStore(), kSuccess);
    store.putString("A", "x", "2");
    store.putString("A", "x", "1");  // dirty, but the bytes equal the file again
    EXPECT_TRUE(store.isDirty());
    EXPECT_EQ(store.flushStore(), kSuccess);
    EXPECT_FALSE(store.isDirty());
    EXPECT_EQ(store.closeStore(), kSuccess);
  }
  EXPECT_EQ(platform::fileLastWriteTime(pathOf("s.ini")), stamp);

  ProfileStore store;
  store.openStore(pathOf("s.ini"), kStoreOwnFile);
  store.putString("A", "y", "2");
  EXPECT_EQ(store.flushStore(), kSuccess);
  EXPECT_FALSE(store.isDirty());
  EXPECT_EQ(readBytes("s.ini"), "[A]\r\nx=1\r\ny=2\r\n");
  EXPECT_NE(platform::fileLastWriteTime(pathOf("s.ini")), stamp);
}

TEST_F(StoreTest, FlushCreatesFileAndFolders) {
  const std::u16string path = pathOf("new/deeper/s.ini");
  ProfileStore store;
  store.openStore(path, kStoreOwnFile | kStoreProgramSettings);
  EXPECT_EQ(store.path(), path);
  store.putString("CRVL", "Opt", "3");
  EXPECT_EQ(store.flushStore(), kSuccess);
  EXPECT_EQ(readBytes("new/deeper/s.ini"), "[CRVL]\r\nOpt=3\r\nVersion=24.08\r\n");
}

TEST_F(StoreTest, FlushClearsReadOnly) {
  writeBytes("ro.ini", "[A]\r\nx=1\r\n");
  ASSERT_EQ(platform::setFileAttributes(pathOf("ro.ini"), platform::kAttrReadOnly), kSuccess);
  ProfileStore store;
  store.openStore(pathOf("ro.ini"), kStoreOwnFile);
  store.putString("A", "x", "2");
  EXPECT_EQ(store.flushStore(), kSuccess);
  EXPECT_EQ(readBytes("ro.ini"), "[A]\r\nx=2\r\n");
}

std::u16string g_perUserPath;
std::u16string perUserPath() { return g_perUserPath; }

TEST_F(StoreTest, FailedWriteRelocatesToPerUserFile) {
  // A file where the settings folder should be makes every create fail.
  writeBytes("blocker", "x");
  g_perUserPath = pathOf("user/CRVL.INI");
  ProgramSettingsHooks hooks;
  hooks.perUserSettingsPath = perUserPath;

  const std::u16string blocked = pathOf("blocker/CRVL.INI");
  {
    ProfileStore own;  // a caller's own file never moves
    own.openStore(blocked, kStoreOwnFile, hooks);
    own.putString("A", "x", "1");
    EXPECT_NE(own.flushStore(), kSuccess);
    // Still dirty: a second flush tries again and fails again, never answering
    // success for a text that no file holds.
    EXPECT_TRUE(own.isDirty());
    EXPECT_NE(own.flushStore(), kSuccess);
    EXPECT_EQ(own.path(), blocked);
    EXPECT_FALSE(platform::pathExists(g_perUserPath));
  }
  ProfileStore store;
  store.openStore(blocked, 0, hooks);
  store.putString("A", "x", "1");
  EXPECT_EQ(store.flushStore(), kSuccess);
  EXPECT_EQ(store.path(), g_perUserPath);
  const std::string written = readBytes("user/CRVL.INI");
  EXPECT_EQ(written, store.text());
  EXPECT_TRUE(written.starts_with("[A]\r\nx=1\r\n\r\n[UseThis]\r\nOpt=")) << written;
  std::u16string opt;
  EXPECT_TRUE(store.getText("UseThis", "Opt", nullptr, opt));
  EXPECT_EQ(opt, g_perUserPath);
}

TEST_F(StoreTest, UnreadableFileIsNeverOverwritten) {
  // The file turns into something unreadable (here a folder) after the path was
  // taken; the store must not replace it with its own nearly empty text, neither
  // there nor in the per-user file.
  writeBytes("dir.ini", "[A]\r\nx=0\r\n");
  g_perUserPath = pathOf("user.ini");
  ProgramSettingsHooks hooks;
  hooks.perUserSettingsPath = perUserPath;
  ProfileStore store;
  store.openStore(pathOf("dir.ini"), 0, hooks);
  ASSERT_EQ(store.path(), pathOf("dir.ini"));
  fs::remove(folder_ / "dir.ini");
  fs::create_directories(folder_ / "dir.ini");
  std::string out;
  EXPECT_FALSE(store.getString("A", "x", nullptr, out));
  store.putString("A", "x", "1");
  EXPECT_NE(store.flushStore(), kSuccess);
  EXPECT_FALSE(platform::pathExists(g_perUserPath));
  EXPECT_TRUE(platform::isFolder(pathOf("dir.ini")));
}

TEST_F(StoreTest, WriteFailingHereAndInThePerUserFileIsTriedAgain) {
  // Both the file's folder and the per-user folder are blocked by files.
  writeBytes("blocker", "x");
  writeBytes("userblocker", "x");
  g_perUserPath = pathOf("userblocker/CRVL.INI");
  ProgramSettingsHooks hooks;
  hooks.perUserSettingsPath = perUserPath;
  const std::u16string blocked = pathOf("blocker/CRVL.INI");
  ProfileStore store;
  store.openStore(blocked, 0, hooks);
  store.putString("A", "x", "1");
  EXPECT_NE(store.flushStore(), kSuccess);
  EXPECT_EQ(store.path(), blocked);  // not moved to a file that was never written
  std::u16string opt;
  EXPECT_FALSE(store.getText("UseThis", "Opt", nullptr, opt));
  EXPECT_NE(store.flushStore(), kSuccess);  // tried again, still failing
  fs::remove(folder_ / "blocker");
  fs::create_directories(folder_ / "blocker");
  EXPECT_EQ(store.flushStore(), kSuccess);
  EXPECT_EQ(readBytes("blocker/CRVL.INI"), "[A]\r\nx=1\r\n");
}

TEST_F(StoreTest, UpdateInsideAnUpdateOfTheSameThreadGoesOn) {
  writeBytes("s.ini", "[A]\r\nx=1\r\n");
  ProfileStore store;
  store.openStore(pathOf("s.ini"), kStoreOwnFile);
  const StoreUpdate outer(store);
  ASSERT_EQ(outer.status(), kSuccess);
  {
    const StoreUpdate inner(store);  // a commit inside a command's update
    EXPECT_EQ(inner.status(), kSuccess);
    store.putString("A", "x", "2");
    EXPECT_EQ(store.flushStore(), kSuccess);
  }
  EXPECT_EQ(readBytes("s.ini"), "[A]\r\nx=2\r\n");
}

TEST_F(StoreTest, FrozenStoreChangesNothing) {
  writeBytes("s.ini", "[A]\r\nx=1\r\n");
  ProfileStore store;
  store.openStore(pathOf("s.ini"), kStoreOwnFile);
  store.putString("A", "x", "2");
  store.freezeStore();
  store.freezeStore();
  store.putString("A", "y", "3");
  store.putText("A", "t", u"t");
  store.deleteKey("A", "x");
  store.deleteSection("A");
  store.reloadStore();
  EXPECT_EQ(store.flushStore(), kSuccess);
  EXPECT_EQ(store.text(), "[A]\r\nx=2\r\n");
  EXPECT_EQ(readBytes("s.ini"), "[A]\r\nx=1\r\n");
  EXPECT_EQ(store.closeStore(), kSuccess);  // close while frozen writes nothing either
  EXPECT_EQ(readBytes("s.ini"), "[A]\r\nx=1\r\n");

  store.unfreezeStore();  // one unfreeze ends any number of freezes
  store.putString("A", "x", "5");
  EXPECT_EQ(store.flushStore(), kSuccess);
  EXPECT_EQ(readBytes("s.ini"), "[A]\r\nx=5\r\n");
}

TEST_F(StoreTest, ReloadAndPathChanges) {
  writeBytes("a.ini", "[A]\r\nx=1\r\n");
  writeBytes("b.ini", "[A]\r\nx=2\r\n");
  ProfileStore store;
  store.openStore(pathOf("a.ini"), kStoreOwnFile);
  store.putString("A", "x", "9");
  store.reloadStore();
  EXPECT_FALSE(store.isDirty());
  EXPECT_EQ(store.getInt("A", "x", 0), 1u);

  EXPECT_EQ(store.setStorePath(pathOf("a.ini"), 0), kErrorAlreadyExists);
  EXPECT_EQ(store.setStorePath(pathOf("b.ini"), 1), kSuccess);
  EXPECT_EQ(store.getInt("A", "x", 0), 2u);
  EXPECT_EQ(store.setStorePath(pathOf("missing.ini"), 1), kErrorFileNotFound);
  EXPECT_EQ(store.path(), pathOf("b.ini"));
  EXPECT_EQ(store.setStorePath(pathOf("missing.ini"), 0), kSuccess);
  EXPECT_EQ(store.getInt("A", "x", 7), 7u);
  EXPECT_EQ(store.setStorePath(std::u16string(1100, u'a'), 0), kErrorFilenameExcedRange);
  EXPECT_EQ(store.setStorePath(u"", 0), kSuccess);
  store.putString("A", "x", "1");  // no file: nothing to write
  EXPECT_EQ(store.flushStore(), kSuccess);
}

TEST_F(StoreTest, LockTimesOutAfterFiftyMilliseconds) {
  ProfileStore store;
  openWith(store, "[A]\r\nx=1\r\n");
  store.putString("A", "y", "2");  // dirty
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    StoreLock lock(store);
    held = lock.ok();
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  while (!held) std::this_thread::yield();

  std::string out = "kept";
  EXPECT_FALSE(store.getString("A", "x", "dflt", out));
  EXPECT_EQ(out, "kept");
  EXPECT_EQ(store.getInt("A", "x", 42), 42u);
  std::u16string text = u"kept";
  EXPECT_FALSE(store.getText("A", "x", u"dflt", text));
  EXPECT_EQ(text, u"dflt");
  store.putString("A", "z", "lost");
  EXPECT_NE(store.flushStore(), kSuccess);
  release = true;
  holder.join();

  EXPECT_TRUE(store.isDirty());  // the skipped flush left it dirty
  EXPECT_FALSE(store.getString("A", "z", nullptr, out));
  EXPECT_EQ(store.flushStore(), kSuccess);
  EXPECT_EQ(readBytes("s.ini"), "[A]\r\nx=1\r\ny=2\r\n");

  // The lock is recursive on one thread.
  StoreLock outer(store);
  ASSERT_TRUE(outer.ok());
  EXPECT_EQ(store.getInt("A", "x", 0), 1u);
}

TEST_F(StoreTest, ThreadsShareOneStore) {
  ProfileStore store;
  openWith(store, "");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&store, t] {
      const std::string section = "T" + std::to_string(t);
      for (uint32_t i = 0; i < 200; ++i) {
        store.putInt(section, "n", i);
        store.putString("Shared", "last", section);
        (void)store.getInt("Shared", "missing", 0);
      }
    });
  }
  for (auto& th : threads) th.join();
  // A change may be lost to a lock timeout, but the text stays well formed: every
  // section once, each holding a value that was written.
  const std::string text = store.text();
  for (int t = 0; t < 4; ++t) {
    const std::string header = "[T" + std::to_string(t) + "]\r\n";
    const size_t at = text.find(header);
    ASSERT_NE(at, text.npos) << text;
    EXPECT_EQ(text.find(header, at + 1), text.npos) << text;
    EXPECT_LT(store.getInt("T" + std::to_string(t), "n", 999), 200u);
  }
  std::string last;
  EXPECT_TRUE(store.getString("Shared", "last", nullptr, last));
  EXPECT_TRUE(last.size() == 2 && last[0] == 'T') << last;
}

struct ReplaceCase {
  const char* what;
  std::string before;
  std::vector<SectionEntry> entries;
  std::string after;
};

TEST_F(StoreTest, ReplaceSectionGivesExactText) {
  const ReplaceCase cases[] = {
      {"into an empty store", "", {{"1", "a"}, {"2", "b"}}, "[J]\r\n1=a\r\n2=b\r\n"},
      {"a middle section moves to the end", "[A]\r\nx=1\r\n\r\n[J]\r\n1=old\r\n9=gone\r\n\r\n[B]\r\ny=2\r\n",
       {{"1", "new"}}, "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\r\n[J]\r\n1=new\r\n"},
      {"the last section", "[A]\r\nx=1\r\n\r\n[J]\r\n1=old\r\n", {{"1", "new"}},
       "[A]\r\nx=1\r\n\r\n[J]\r\n1=new\r\n"},
      {"every section of the name goes", "[J]\r\n1=a\r\n[A]\r\nx=1\r\n[J]\r\n7=stale\r\n", {{"1", "b"}},
       "[A]\r\nx=1\r\n\r\n[J]\r\n1=b\r\n"},
      {"no entries: removed only", "[A]\r\nx=1\r\n\r\n[J]\r\n1=a\r\n", {}, "[A]\r\nx=1\r\n\r\n"},
      {"entries that would break the file are left out", "",
       {{"", "v"}, {"a=b", "v"}, {"k", "line\r\nbreak"}, {"[k", "v"}, {"ok", "v"}}, "[J]\r\nok=v\r\n"},
      {"only refused entries: no header", "[A]\r\nx=1\r\n", {{"k\n", "v"}}, "[A]\r\nx=1\r\n"},
      {"after a byte order mark", "\xEF\xBB\xBF", {{"1", "a"}}, "\xEF\xBB\xBF[J]\r\n1=a\r\n"},
      {"after text without a line end", "[A]\r\nx=1", {{"1", "a"}}, "[A]\r\nx=1\r\n\r\n[J]\r\n1=a\r\n"},
      {"similar names are other sections", "[JJ]\r\n1=a\r\n[j]\r\n1=b\r\n", {{"1", "c"}},
       "[JJ]\r\n1=a\r\n[j]\r\n1=b\r\n\r\n[J]\r\n1=c\r\n"},
      {"LF-only text", "[J]\n1=a\n[A]\nx=1\n", {{"1", "b"}}, "[A]\nx=1\n\r\n[J]\r\n1=b\r\n"},
  };
  for (const ReplaceCase& c : cases) {
    ProfileStore store;
    openWith(store, c.before);
    store.replaceSection("J", c.entries);
    EXPECT_EQ(store.text(), c.after) << c.what;
    EXPECT_EQ(store.isDirty(), c.before != c.after) << c.what;
  }
}

TEST_F(StoreTest, ReplaceSectionEqualsDeletingAndPuttingEachKey) {
  const std::string texts[] = {
      "",
      "[J]\r\n",
      "[A]\r\nx=1\r\n\r\n[J]\r\n1=a\r\n2=b\r\n\r\n[B]\r\n",
      "[J]\r\n1=a\r\n\r\n\r\n[A]\r\nx=1",
      "[A]\rx=1\r[J]\r5=z\r[B]\ry=2\r",
      "\xEF\xBB\xBF[J]\r\n1=a\r\n",
      "text before any section\r\n[J]\r\n1=a\r\n",
  };
  const std::vector<SectionEntry> entries = {{"1", "one"}, {"2", ""}, {"3", "three;\"x\""}};
  for (const std::string& text : texts) {
    ProfileStore loop;
    openWith(loop, text, "loop.ini");
    loop.deleteSection("J");
    for (const SectionEntry& e : entries) loop.putString("J", e.key, e.value);
    ProfileStore once;
    openWith(once, text, "once.ini");
    once.replaceSection("J", entries);
    EXPECT_EQ(once.text(), loop.text()) << text;
  }
}

TEST_F(StoreTest, ReplaceSectionUnchangedOrFrozenWritesNothing) {
  ProfileStore store;
  openWith(store, "[A]\r\nx=1\r\n\r\n[J]\r\n1=a\r\n");
  store.replaceSection("J", {{"1", "a"}});
  EXPECT_FALSE(store.isDirty());
  store.freezeStore();
  store.replaceSection("J", {{"1", "b"}});
  EXPECT_EQ(store.text(), "[A]\r\nx=1\r\n\r\n[J]\r\n1=a\r\n");
  store.unfreezeStore();
  store.replaceSection("J]", {{"1", "b"}});  // a name that would break the header
  EXPECT_EQ(store.text(), "[A]\r\nx=1\r\n\r\n[J]\r\n1=a\r\n");
}

// Two stores on one file, as two programs hold it: each flush reads the file again and
// applies only its own changes, so neither loses the other's; an update that holds the
// file sees what the other wrote before it reads.
TEST_F(StoreTest, TwoWritersOfOneFileKeepEachOthersChanges) {
  const struct {
    const char* name;
    void (*change)(ProfileStore&);
    const char* expected;
  } cases[] = {
      {"put", [](ProfileStore& s) { s.putString("B", "y", "2"); }, "[A]\r\nx=1\r\nz=9\r\n\r\n[B]\r\ny=2\r\n"},
      {"delete key", [](ProfileStore& s) { s.deleteKey("A", "x"); }, "[A]\r\nz=9\r\n"},
      {"replace section", [](ProfileStore& s) { s.replaceSection("J", {{"1", "a"}}); },
       "[A]\r\nx=1\r\nz=9\r\n\r\n[J]\r\n1=a\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes("two.ini", "[A]\r\nx=1\r\n");
    ProfileStore first, second;
    first.openStore(pathOf("two.ini"), kStoreOwnFile);
    second.openStore(pathOf("two.ini"), kStoreOwnFile);
    EXPECT_EQ(first.getInt("A", "x", 0), 1u);
    EXPECT_EQ(second.getInt("A", "x", 0), 1u);  // both have read the file
    second.putString("A", "z", "9");
    ASSERT_EQ(second.flushStore(), kSuccess);
    c.change(first);
    ASSERT_EQ(first.flushStore(), kSuccess);
    EXPECT_EQ(readBytes("two.ini"), c.expected);
  }
  ProfileStore reader;
  reader.openStore(pathOf("two.ini"), kStoreOwnFile);
  EXPECT_EQ(reader.getInt("A", "z", 0), 9u);
  writeBytes("two.ini", "[A]\r\nz=10\r\n");  // another program's write
  const StoreUpdate update(reader);
  ASSERT_EQ(update.status(), kSuccess);
  EXPECT_EQ(reader.getInt("A", "z", 0), 10u);
}

TEST_F(StoreTest, FlushReplacesTheFileAndLeavesNoTemporary) {
  writeBytes("s.ini", "[A]\r\nx=1\r\n");
  ProfileStore store;
  store.openStore(pathOf("s.ini"), kStoreOwnFile);
  store.putString("A", "x", "2");
  ASSERT_EQ(store.flushStore(), kSuccess);
  EXPECT_EQ(readBytes("s.ini"), "[A]\r\nx=2\r\n");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder_)) names.push_back(e.path().filename().string());
  std::erase(names, "s.ini.lock");  // the lock between processes stays for the next writer
  EXPECT_EQ(names, std::vector<std::string>{"s.ini"});
}

// Several threads, each with a store of its own on one settings file: writers change
// their own section and flush, readers load the file. A flush may lose another
// writer's change, but no reader may ever meet an empty or partial file: the register
// written first is always there whole.
TEST_F(StoreTest, StoresOfOneFileNeverShowAPartialFile) {
  std::string registerText = "[Job]\r\n";
  for (int i = 1; i <= 3000; ++i) registerText += std::to_string(i) + "=Job " + std::to_string(i) + ";j.job\r\n";
  writeBytes("s.ini", registerText);
  const std::u16string path = pathOf("s.ini");
  constexpr int kWriters = 3;
  constexpr int kFlushes = 40;
  std::atomic<int> writersDone{0};
  std::atomic<int> badReads{0};
  std::atomic<int> goodReads{0};
  std::atomic<int> failedFlushes{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      const std::string section(1, static_cast<char>('P' + w));  // a section per writer
      for (int i = 1; i <= kFlushes; ++i) {
        ProfileStore store;
        store.openStore(path, kStoreOwnFile);
        store.putInt(section, "n", static_cast<uint32_t>(i));
        if (store.flushStore() != kSuccess) ++failedFlushes;
      }
      ++writersDone;
    });
  }
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      while (writersDone < kWriters) {
        ProfileStore store;
        store.openStore(path, kStoreOwnFile);
        std::string last;
        const bool whole = store.text().starts_with(registerText) && store.getString("Job", "3000", nullptr, last) &&
                           last == "Job 3000;j.job";
        (whole ? goodReads : badReads)++;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // readers hold the file for moments
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(badReads, 0);
  EXPECT_EQ(failedFlushes, 0);
  EXPECT_GT(goodReads, 0);
  EXPECT_TRUE(readBytes("s.ini").starts_with(registerText));
}

TEST_F(StoreTest, MalformedTextNeverBreaksTheStore) {
  const std::string bigLine((1 << 20) + 7, 'x');
  const std::string texts[] = {
      "\0\0\0[A]\0\r\nk=\0\r\n"s,
      "\r\r\r[A]\r\r\rk=1\r\r",
      "[",
      "[A",
      "]=[\r\n=\r\n==\r\n",
      "\xEF\xBB\xBF",
      "\xEF\xBB\xBF[A]\r\nk=\xF0\x9F\r\nj=\xE2\r\nm=\xFF\xFF\xFF\xFF\r\n",
      "[A]\r\nk=" + bigLine + "\r\n" + bigLine + "\r\n[B]\r\n",
      bigLine + "=" + bigLine,
  };
  for (const std::string& text : texts) {
    ProfileStore store;
    openWith(store, text);
    std::string out;
    std::u16string wide;
    (void)store.getString("A", "k", "d", out);
    (void)store.getText("A", "k", u"d", wide);
    (void)store.getText("A", "j", u"d", wide);
    (void)store.getText("A", "m", u"d", wide);
    (void)store.getInt("A", "k", 1);
    Seen seen;
    (void)store.enumerateSection("A", collect, &seen);
    store.putString("A", "k", "v");
    store.putString("B", "n", "w");
    ASSERT_EQ(store.getString("A", "k", nullptr, out), true);
    EXPECT_EQ(out, "v");
    ASSERT_EQ(store.getString("B", "n", nullptr, out), true);
    EXPECT_EQ(out, "w");
    store.deleteKey("A", "k");
    store.deleteSection("B");
    EXPECT_FALSE(store.getString("B", "n", nullptr, out));
  }
}

TEST_F(StoreTest, RandomEditsKeepEveryValueReadable) {
  // A model of the expected values checked after every random edit of a random text.
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  const char* pieces[] = {"[A]", "[B]", "\r\n", "\r", "\n", "k=", "j = 1", " k=2", "=", "[", ";"};
  for (int round = 0; round < 40; ++round) {
    std::string text;
    for (int i = 0; i < 12; ++i) text += pieces[next() % std::size(pieces)];
    ProfileStore store;
    openWith(store, text);
    const char* sections[] = {"A", "B", "C"};
    const char* keys[] = {"k", "j", "n"};
    for (int op = 0; op < 20; ++op) {
      const char* s = sections[next() % 3];
      const char* k = keys[next() % 3];
      const std::string v = std::to_string(next());
      store.putString(s, k, v);
      std::string out;
      ASSERT_TRUE(store.getString(s, k, nullptr, out)) << text;
      ASSERT_EQ(out, v) << text;
      if (next() % 5 == 0) {
        store.deleteKey(s, k);
      }
    }
  }
}

}  // namespace
}  // namespace crvl
