#include "jobs/program_settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "platform/test_folder.h"
#include "os_traits.h"
#include "platform/desktop.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/text.h"

namespace crvl {
namespace {

using crvl::testing::TestFolder;

std::u16string native(std::u16string path) {
  for (char16_t& c : path) {
    if (c == u'/') c = os::kSeparator;
  }
  return path;
}

TEST(SettingsFileName, LegacyNamesCameFromTheFiveCharacterBaseName) {
  struct Case {
    const char16_t* program;
    const char16_t* name;
  } cases[] = {
      {u"/apps/Syncer.exe", u"Synce.INI"},
      {u"/apps/Tool.exe", u"Tool.INI"},
      {u"\"/apps/Tool.exe", u"Tool.INI"},
      {u"/apps/a.b.exe", u"a.b.INI"},
      {u"/apps.d/program", u"progr.INI"},
      {u"Tool", u"Tool.INI"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(legacySettingsFileName(native(c.program)), c.name) << platform::toUtf8(c.program);
  }
}

// The program runs from <tmp>/prog (or another folder) and its per-user folder is
// <tmp>/user by the removable-drive variables, so that nothing outside the test folder
// is touched.
class SettingsLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedHost_ = platform::environmentVariable(u"U3_HOST_EXEC_PATH");
    savedData_ = platform::environmentVariable(u"U3_APP_DATA_PATH");
    folder_.makeFolder("user/data");
    folder_.makeFolder("prog");
    platform::setEnvironmentVariable(u"U3_HOST_EXEC_PATH", folder_.path());
    platform::setEnvironmentVariable(u"U3_APP_DATA_PATH", folder_.path("user/data"));
    runFrom("prog");
  }
  void TearDown() override {
    platform::overrideProgramPath(u"");
    platform::setEnvironmentVariable(u"U3_HOST_EXEC_PATH", savedHost_);
    platform::setEnvironmentVariable(u"U3_APP_DATA_PATH", savedData_);
  }

  void runFrom(const std::string& programFolder) {
    programFolder_ = programFolder;
    platform::overrideProgramPath(folder_.path(programFolder + "/Tool.exe"));
  }
  [[nodiscard]] std::u16string perUserFile() const { return folder_.path("user/CRVL.INI"); }
  [[nodiscard]] std::u16string programFile() const { return folder_.path(programFolder_ + "/CRVL.INI"); }

  TestFolder folder_;
  std::string programFolder_;
  std::optional<std::u16string> savedHost_;
  std::optional<std::u16string> savedData_;
};

// The console and the tray program share one file; a file an earlier version kept under
// the console's own name is taken over once, where no shared file exists yet.
TEST_F(SettingsLocationTest, EveryProgramSharesOneFileAndLegacyFilesAreTakenOver) {
  folder_.write("prog/Tool.INI", "[Job]\r\n1=Old;o.job\r\n");     // the legacy name in the program folder
  folder_.write("user/Tool.INI", "[Job]\r\n1=User;u.job\r\n");     // and in the per-user folder
  folder_.write("user/CRVL.INI", "[Job]\r\n1=Shared;s.job\r\n");   // the per-user shared one exists
  const std::u16string notice = takeOverLegacySettings();
  EXPECT_NE(notice.find(folder_.path("prog/Tool.INI")), std::u16string::npos);
  EXPECT_EQ(folder_.read("prog/CRVL.INI"), "[Job]\r\n1=Old;o.job\r\n");
  EXPECT_FALSE(folder_.exists("prog/Tool.INI"));
  EXPECT_TRUE(folder_.exists("user/Tool.INI"));  // a shared file is never replaced
  EXPECT_EQ(folder_.read("user/CRVL.INI"), "[Job]\r\n1=Shared;s.job\r\n");
  EXPECT_EQ(takeOverLegacySettings(), u"");  // once only
  // A program named like the product has nothing to take over.
  platform::overrideProgramPath(folder_.path("prog/CRVL.exe"));
  EXPECT_EQ(legacySettingsFileName(platform::programPath()), u"CRVL.INI");
  EXPECT_EQ(takeOverLegacySettings(), u"");
}

TEST_F(SettingsLocationTest, ProgramsInTheSystemsFoldersKeepTheirSettingsPerUser) {
  if (os::kWindows) GTEST_SKIP() << "the program folder rule applies as it is on Windows";
  const testing::ScopedVariable config(u"XDG_CONFIG_HOME", folder_.path("xdg"));
  platform::overrideProgramPath(u"/usr/bin/crvl");
  EXPECT_EQ(programFolderSettingsPath(), u"");
  ProfileStore store;
  store.openStore(std::nullopt, 0, programSettingsHooks());
  EXPECT_EQ(store.path(), folder_.path("xdg/Halberic/CRVL.INI"));
  EXPECT_TRUE(platform::isSystemProgramFolder(u"/opt/corvell"));
  EXPECT_FALSE(platform::isSystemProgramFolder(u"/optional/x"));
  EXPECT_FALSE(platform::isSystemProgramFolder(folder_.path("prog")));
}

TEST_F(SettingsLocationTest, PerUserFolderFollowsTheRemovableDriveVariables) {
  EXPECT_EQ(perUserSettingsFolder(), folder_.path("user"));
  EXPECT_EQ(perUserSettingsPath(), perUserFile());
  EXPECT_EQ(programFolderSettingsPath(), programFile());
  platform::setEnvironmentVariable(u"U3_APP_DATA_PATH", folder_.path("user/none"));
  EXPECT_EQ(perUserSettingsFolder(), perUserDataFolder());  // the data path must exist
  platform::setEnvironmentVariable(u"U3_APP_DATA_PATH", folder_.path("user/data"));
  platform::setEnvironmentVariable(u"U3_HOST_EXEC_PATH", folder_.path("elsewhere"));
  EXPECT_EQ(perUserSettingsFolder(), perUserDataFolder());  // the program must lie inside
  platform::setEnvironmentVariable(u"U3_HOST_EXEC_PATH", std::nullopt);
  EXPECT_EQ(perUserSettingsFolder(), perUserDataFolder());
}

TEST_F(SettingsLocationTest, UnwritableProgramFolderMovesTheSettingsAndMovingBack) {
  // A file stands where the program's folder should be: nothing can be created there.
  folder_.write("blocked", "x");
  runFrom("blocked");
  {
    ProfileStore store;
    openProgramSettings(store);
    EXPECT_EQ(store.path(), programFile());  // not there yet: taken unchecked
    store.putInt("CRVL", "Opt", 5);
    EXPECT_EQ(store.flushStore(), kSuccess);
    EXPECT_EQ(store.path(), perUserFile());
  }
  const std::string moved = folder_.read("user/CRVL.INI");
  EXPECT_NE(moved.find("[UseThis]\r\nOpt=" + platform::toUtf8(perUserFile())), std::string::npos);
  EXPECT_NE(moved.find("Opt=5"), std::string::npos);

  // The program folder becomes writable and holds a file: the moved store still wins.
  folder_.remove("blocked");
  folder_.write("blocked/CRVL.INI", "[CRVL]\r\nOpt=1\r\n");
  {
    ProfileStore store;
    openProgramSettings(store);
    EXPECT_EQ(store.path(), perUserFile());
    EXPECT_EQ(readAppOptions(store), 5u);
  }

  // Without the "UseThis" section the program-folder file is used again.
  folder_.write("user/CRVL.INI", "[CRVL]\r\nOpt=5\r\n");
  {
    ProfileStore store;
    openProgramSettings(store);
    EXPECT_EQ(store.path(), programFile());
    EXPECT_EQ(readAppOptions(store), 1u);
  }
}

TEST_F(SettingsLocationTest, ProgramFolderFileDropsAStaleUseThisEntry) {
  folder_.write("prog/CRVL.INI", "[CRVL]\r\nOpt=1\r\n\r\n[UseThis]\r\nOpt=somewhere\r\n");
  {
    ProfileStore store;
    openProgramSettings(store);
    EXPECT_EQ(store.path(), programFile());
    std::string value;
    EXPECT_FALSE(store.getString("UseThis", "Opt", nullptr, value));
  }
  EXPECT_EQ(folder_.read("prog/CRVL.INI").find("UseThis"), std::string::npos);
}

TEST_F(SettingsLocationTest, ProgramFolderFileThatCannotBeOpenedIsNotUsed) {
  folder_.makeFolder("prog/CRVL.INI");  // exists, but is no file
  {
    ProfileStore store;
    openProgramSettings(store);
    EXPECT_EQ(store.path(), perUserFile());
    store.putInt("CRVL", "Opt", 3);
  }
  ProfileStore store;
  openProgramSettings(store);
  EXPECT_EQ(store.path(), perUserFile());
  EXPECT_EQ(readAppOptions(store), 3u);
  std::u16string useThis;
  EXPECT_TRUE(store.getText("UseThis", "Opt", nullptr, useThis));
  EXPECT_EQ(useThis, perUserFile());
}

TEST_F(SettingsLocationTest, WorkAreaEntryOnOpen) {
  folder_.write("prog/CRVL.INI", "[CRVL]\r\nOpt=1\r\n");
  ProfileStore store;
  openProgramSettings(store);
  uint32_t width = 0;
  uint32_t height = 0;
  std::string value;
  if (platform::desktopWorkArea(&width, &height)) {
    EXPECT_TRUE(store.getString("Desk", ".", nullptr, value));
    EXPECT_TRUE(workAreaEntryMatches(value, width, height)) << value;
  } else {
    EXPECT_FALSE(store.getString("Desk", ".", nullptr, value));  // no work area: untouched
    EXPECT_FALSE(store.isDirty());
  }
}

// A start whose settings are complete changes nothing, so nothing may be written: the
// file keeps its identity (no replacement), its time and its bytes.
TEST_F(SettingsLocationTest, StartingWithACompleteFileWritesNothing) {
  std::string desk;
  uint32_t width = 0;
  uint32_t height = 0;
  if (platform::desktopWorkArea(&width, &height)) {
    char text[48];
    std::snprintf(text, sizeof text, "\r\n[Desk]\r\n.=#%lx,%lx\r\n", static_cast<unsigned long>(width),
                  static_cast<unsigned long>(height));
    desk = text;
  }
  const std::string complete = "[CRVL]\r\nOpt=1\r\nLanguage=US\r\nVersion=24.08\r\n" + desk;
  struct Case {
    const char* what;
    std::string file;
    std::string contents;
  } cases[] = {
      {"program folder file", "prog/CRVL.INI", complete},
      {"moved store", "user/CRVL.INI",
       complete + "\r\n[UseThis]\r\nOpt=" + platform::toUtf8(perUserFile()) + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    folder_.write(c.file, c.contents);
    const std::u16string path = folder_.path(c.file);
    std::filesystem::last_write_time(std::filesystem::path(path),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
    uint64_t volume = 0, id = 0;
    ASSERT_EQ(platform::fileIdentity(path, &volume, &id), kSuccess);
    const uint64_t stamp = platform::fileLastWriteTime(path);
    {
      ProfileStore store;
      openProgramSettings(store);
      EXPECT_EQ(store.path(), path);
      EXPECT_EQ(ensureLanguageCode(store, 1031), "US");
      EXPECT_EQ(readAppOptions(store), 1u);
      EXPECT_EQ(store.closeStore(), kSuccess);
    }
    uint64_t volumeAfter = 0, idAfter = 0;
    ASSERT_EQ(platform::fileIdentity(path, &volumeAfter, &idAfter), kSuccess);
    EXPECT_EQ(idAfter, id);
    EXPECT_EQ(volumeAfter, volume);
    EXPECT_EQ(platform::fileLastWriteTime(path), stamp);
    EXPECT_EQ(folder_.read(c.file), c.contents);
    folder_.remove(c.file);
  }
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { store_.openStore(folder_.path("s.ini"), kStoreOwnFile); }
  void load(const std::string& bytes) {
    folder_.write("s.ini", bytes);
    store_.reloadStore();
  }
  TestFolder folder_;
  ProfileStore store_;
};

TEST_F(SettingsStoreTest, WorkAreaValueIsRewrittenOnlyWhenItDiffers) {
  struct Case {
    const char* stored;
    bool rewritten;
  } cases[] = {
      {"#400,300", false}, {"1024,768", false}, {"#400,2ff", true}, {"", true},
      {"-1024,768", true}, {"#-400,300", true}, {"1024", true},     {"#400;300", true},
      {"#ffffffffffffffffffff,300", true},
  };
  for (const Case& c : cases) {
    load(std::string("[Desk]\r\n.=") + c.stored + "\r\n");
    updateWorkAreaEntry(store_, 1024, 768);
    std::string value;
    store_.getString("Desk", ".", nullptr, value);
    EXPECT_EQ(value, c.rewritten ? "#400,300" : c.stored) << c.stored;
    EXPECT_EQ(store_.isDirty(), c.rewritten) << c.stored;
    (void)store_.flushStore();
  }
}

TEST_F(SettingsStoreTest, KeysWithDefaultsAndRanges) {
  load("[CRVL]\r\nExpMode=9\r\nDelay=90000\r\nDM=5\r\nIconMn=8\r\n");
  EXPECT_EQ(readLogFormat(store_), 6u);
  EXPECT_EQ(readStartDelay(store_), 0u);
  EXPECT_EQ(readDarkMode(store_), 0u);
  EXPECT_EQ(menuIconSizeChoice(readMenuIconSize(store_)), 16u);
  load("[CRVL]\r\nExpMode=3\r\nDelay=86399\r\nDM=2\r\nIconMn=48\r\nOpt=4294967295\r\n");
  EXPECT_EQ(readLogFormat(store_), 3u);
  EXPECT_EQ(readStartDelay(store_), 86399u);
  EXPECT_EQ(readDarkMode(store_), 2u);
  EXPECT_EQ(menuIconSizeChoice(readMenuIconSize(store_)), 48u);
  EXPECT_EQ(readAppOptions(store_), 0xFFFFFFFFu);
  load("");
  EXPECT_EQ(readLogFormat(store_), 6u);
  EXPECT_EQ(readAppOptions(store_), 0u);
  EXPECT_EQ(readMenuIconSize(store_), 0u);
  // A settings file of its own keeps its jobs beside it.
  EXPECT_EQ(defaultJobFolder(store_), folder_.path("s/Job"));
  EXPECT_EQ(logFolder(store_), defaultSettingsFolder(u"Log"));

  const uint32_t formats[][2] = {{0, 6}, {1, 1}, {7, 7}, {8, 6}, {0xFFFFFFFF, 6}};
  for (const auto& f : formats) EXPECT_EQ(logFormatFromStored(f[0]), f[1]) << f[0];
  const std::pair<const char16_t*, uint32_t> delays[] = {
      {u"", 0}, {u"30", 30}, {u"86399", 86399}, {u"86400", 0}, {u"90000", 0},
      {u"12 s", 12}, {u"99999999999999999999999", 0}, {u"-5", 0},
  };
  for (const auto& d : delays) EXPECT_EQ(parseDelayField(d.first), d.second);
}

TEST_F(SettingsStoreTest, LanguageIsChosenOnce) {
  struct Case {
    const char* file;
    uint16_t system;
    const char* code;
  } cases[] = {
      {"", 2055, "DE"}, {"", 1033, "US"}, {"[CRVL]\r\nLanguage=FR\r\n", 1031, "FR"},
      {"[CRVL]\r\nLanguage=LONGER\r\n", 1033, "LON"},
  };
  for (const Case& c : cases) {
    load(c.file);
    EXPECT_EQ(ensureLanguageCode(store_, c.system), c.code);
    std::string stored;
    store_.getString("CRVL", "Language", nullptr, stored);
    EXPECT_EQ(stored.substr(0, 3), c.code);
  }
}

TEST_F(SettingsStoreTest, GeneralOptionsAreStored) {
  load("[CRVL]\r\nOpt=24\r\nIconMn=16\r\n");
  ProgramOptionState state{readAppOptions(store_), readMenuIconSize(store_), 6};
  GeneralOptions options;
  options.startWithWindows = true;
  options.iconsInMenu = false;
  options.menuIconSize = 32;
  options.startDelaySeconds = 90000;
  options.jobFolder = u"%APPDATA%\\Jobs";
  options.logToFolder = false;
  options.logFolder = u"D:\\Logs";
  options.logFormat = 3;
  const GeneralOptionsOutcome outcome = saveGeneralOptions(store_, options, state);
  EXPECT_EQ(outcome.flushResult, kSuccess);
  EXPECT_TRUE(outcome.startWithWindowsChanged);
  EXPECT_TRUE(outcome.menuIconsChanged);
  EXPECT_TRUE(outcome.menuIconSizeChanged);
  EXPECT_EQ(state.appOptions, 24u | 1 | 2 | 4);  // other bits kept
  EXPECT_EQ(state.logFormat, 3u);
  EXPECT_EQ(folder_.read("s.ini"),
            "[CRVL]\r\nOpt=31\r\nIconMn=32\r\nDelay=0\r\nJob=%APPDATA%\\Jobs\r\nLog=D:\\Logs\r\nExpMode=3\r\n");

  options.startWithWindows = false;
  options.iconsInMenu = true;
  options.logToFolder = true;
  options.startDelaySeconds = 120;
  const GeneralOptionsOutcome second = saveGeneralOptions(store_, options, state);
  EXPECT_TRUE(second.startWithWindowsChanged);
  EXPECT_TRUE(second.menuIconsChanged);
  EXPECT_FALSE(second.menuIconSizeChanged);
  EXPECT_EQ(state.appOptions, 24u);
  EXPECT_EQ(readStartDelay(store_), 120u);
  ASSERT_EQ(saveSettingsAtExit(store_, state), kSuccess);
  EXPECT_NE(folder_.read("s.ini").find("ExpMode=3\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, GeneralOptionsShowDefaultsAndKeepThemUnstored) {
  struct Case {
    const char* file;
    const char16_t* typedJob;  // null: the field as shown
    const char* storedJob;     // "Job=..." after saving
  };
  const Case cases[] = {
      {"[CRVL]\r\n", nullptr, "Job=\r\n"},                          // the default shown, kept empty
      {"[CRVL]\r\n", u"D:\\Jobs", "Job=D:\\Jobs\r\n"},             // another folder typed
      {"[CRVL]\r\nJob=E:\\Mine\r\n", nullptr, "Job=E:\\Mine\r\n"},  // a stored folder as it is
  };
  for (const Case& c : cases) {
    load(c.file);
    ProgramOptionState state{readAppOptions(store_), readMenuIconSize(store_), 0};
    GeneralOptions options = readGeneralOptions(store_, state);
    const bool stored = std::string(c.file).find("Job=") != std::string::npos;
    EXPECT_EQ(options.jobFolder, stored ? u"E:\\Mine" : defaultJobFolder(store_)) << c.file;
    EXPECT_EQ(options.logFolder, logFolder(store_)) << "an empty Log shows the default folder";
    if (c.typedJob != nullptr) options.jobFolder = c.typedJob;
    (void)saveGeneralOptions(store_, options, state);
    EXPECT_NE(folder_.read("s.ini").find(c.storedJob), std::string::npos) << c.file;
    EXPECT_NE(folder_.read("s.ini").find("Log=\r\n"), std::string::npos) << "the default log folder stays unstored";
  }
  // The other fields: options bits, the delay, the icon size choice and the format.
  load("[CRVL]\r\nDelay=45\r\n");
  const GeneralOptions shown = readGeneralOptions(store_, ProgramOptionState{kAppStartWithWindows | kAppNoJobLogs, 8, 9});
  EXPECT_TRUE(shown.startWithWindows);
  EXPECT_TRUE(shown.iconsInMenu);
  EXPECT_FALSE(shown.logToFolder);
  EXPECT_EQ(shown.startDelaySeconds, 45u);
  EXPECT_EQ(shown.menuIconSize, 16u) << "a size below 16 selects 16";
  EXPECT_EQ(shown.logFormat, 6u) << "a format above 7 counts as 6";
}

TEST_F(SettingsStoreTest, DarkModeIsWrittenOnlyWhenItChanges) {
  load("[CRVL]\r\nDM=1\r\n");
  EXPECT_FALSE(writeDarkMode(store_, 1));
  EXPECT_FALSE(writeDarkMode(store_, 7));
  EXPECT_TRUE(writeDarkMode(store_, 2));
  EXPECT_EQ(folder_.read("s.ini"), "[CRVL]\r\nDM=2\r\n");
}

TEST_F(SettingsStoreTest, BackupCopiesWithoutOverwriting) {
  store_.putInt("CRVL", "Opt", 7);
  std::u16string written;
  ASSERT_EQ(backupSettings(store_, folder_.path("b.ini"), &written), kSuccess);
  EXPECT_EQ(written, folder_.path("b.ini"));
  EXPECT_EQ(folder_.read("b.ini"), "[CRVL]\r\nOpt=7\r\n");  // flushed first
  ASSERT_EQ(backupSettings(store_, folder_.path("b.ini"), &written), kSuccess);
  EXPECT_EQ(written, folder_.path("b (2).ini"));
  EXPECT_EQ(folder_.read("b (2).ini"), "[CRVL]\r\nOpt=7\r\n");
  ASSERT_EQ(backupSettings(store_, folder_.path("s.ini"), &written), kSuccess);
  EXPECT_TRUE(written.empty());
  EXPECT_FALSE(folder_.exists("s (2).ini"));
}

TEST_F(SettingsStoreTest, BackupReplacesAFileTheUserAgreedToReplace) {
  store_.putInt("CRVL", "Opt", 5);
  folder_.write("b.ini", "old");
  std::u16string written;
  ASSERT_EQ(backupSettings(store_, folder_.path("b.ini"), &written, ExistingTarget::Replace), kSuccess);
  EXPECT_EQ(written, folder_.path("b.ini"));
  EXPECT_EQ(folder_.read("b.ini"), "[CRVL]\r\nOpt=5\r\n");
  EXPECT_FALSE(folder_.exists("b (2).ini"));
}

TEST_F(SettingsStoreTest, DarkModeTurningTheMenusDarkDropsTheirIcons) {
  struct Case {
    uint32_t choice;
    bool wasDark, nowDark;
    uint32_t optionsBefore, optionsAfter;
    const char* file;
  };
  const Case cases[] = {
      {2, false, true, 0x5, 0x7, "[CRVL]\r\nDM=2\r\nOpt=7\r\n"},
      {1, true, false, 0x3, 0x1, "[CRVL]\r\nDM=1\r\nOpt=1\r\n"},
      {1, false, false, 0x2, 0x2, "[CRVL]\r\nDM=1\r\n"},  // light either way: untouched
  };
  for (const Case& c : cases) {
    load("[CRVL]\r\nDM=0\r\n");
    if (c.wasDark) load("[CRVL]\r\nDM=2\r\n");
    uint32_t options = c.optionsBefore;
    EXPECT_TRUE(writeDarkMode(store_, c.choice, c.wasDark, c.nowDark, &options)) << c.choice;
    EXPECT_EQ(options, c.optionsAfter) << c.choice;
    EXPECT_EQ(folder_.read("s.ini"), c.file) << c.choice;
  }
}

TEST_F(SettingsStoreTest, RestoreReplacesTheFileAndFreezesTheStore) {
  load("[CRVL]\r\nOpt=1\r\n");
  bool restart = true;
  EXPECT_EQ(restoreSettings(store_, folder_.path("s.ini"), &restart), kSuccess);
  EXPECT_FALSE(restart);  // the settings file itself: nothing happens
  EXPECT_NE(restoreSettings(store_, folder_.path("missing.ini"), &restart), kSuccess);
  EXPECT_FALSE(restart);
  EXPECT_EQ(readAppOptions(store_), 1u);

  folder_.write("saved.ini", "[CRVL]\r\nOpt=6\r\n");
  store_.putInt("CRVL", "Delay", 30);
  ASSERT_EQ(restoreSettings(store_, folder_.path("saved.ini"), &restart), kSuccess);
  EXPECT_TRUE(restart);
  EXPECT_EQ(readAppOptions(store_), 6u);
  store_.putInt("CRVL", "Opt", 99);  // what the ending program writes is dropped
  (void)store_.flushStore();
  store_.unfreezeStore();
  EXPECT_EQ(folder_.read("s.ini"), "[CRVL]\r\nOpt=6\r\n");
}

}  // namespace
}  // namespace crvl
