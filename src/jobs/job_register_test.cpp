#include "jobs/job_register.h"

#include <gtest/gtest.h>

#include <string>

#include "jobs/job.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "jobs/register_list.h"
#include "jobs/register_merge.h"
#include "platform/test_folder.h"

namespace crvl {
namespace {

using crvl::testing::TestFolder;

RegisterRow jobRow(std::u16string name, std::u16string path = {}) {
  return {RegisterKind::Job, std::move(name), std::move(path)};
}
RegisterRow groupStart(std::u16string name) { return {RegisterKind::GroupStart, std::move(name), {}}; }
RegisterRow groupEnd() { return {RegisterKind::GroupEnd, {}, {}}; }
RegisterRow separator() { return {RegisterKind::Separator, {}, {}}; }

TEST(RegisterValue, StoredFormsGiveTheirRows) {
  struct Case {
    std::string value;
    RegisterRow row;
  } cases[] = {
      {"Backup;C:\\Jobs\\Backup.job", jobRow(u"Backup", u"C:\\Jobs\\Backup.job")},
      {"Backup", jobRow(u"Backup")},
      {";C:\\x.job", jobRow(u"", u"C:\\x.job")},
      {"-Pictures", groupStart(u"Pictures")},
      {"-", groupEnd()},
      {"--", separator()},
      {"\"a;b\";p", jobRow(u"a;b", u"p")},
      {"\"unbalanced;p", jobRow(u"\"unbalanced;p")},
      {"", jobRow(u"")},
      // Read whole, so that the register is written back as it was.
      {std::string(100, 'n') + ";p", jobRow(std::u16string(100, u'n'), u"p")},
      {"\xEF\xBB\xBF\xD0\x96;\xEF\xBB\xBF\xC3\xA9.job", jobRow(u"\u0416", u"\u00E9.job")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseRegisterValue(c.value), c.row) << c.value;
  }
  // Invalid marked text gives some row, and no crash.
  (void)parseRegisterValue("\xEF\xBB\xBF\xFF\xE0;\xEF\xBB\xBF\xC3");
}

TEST(RegisterValue, RowsSurviveTheirStoredForm) {
  const RegisterRow rows[] = {
      jobRow(u"Plain", u"C:\\p.job"), jobRow(u"Semi;colon", u"C:\\a;b.job"),
      jobRow(u"\u0416\u00E9", u"C:\\\u0416.job"), jobRow(u"Settings job"),
      groupStart(u"Group \u0416"), groupStart(u"a;b"), groupEnd(), separator(),
  };
  for (const RegisterRow& row : rows) {
    EXPECT_EQ(parseRegisterValue(formatRegisterValue(row)), row) << formatRegisterValue(row);
  }
  EXPECT_EQ(formatRegisterValue(jobRow(u"   Indented", u"x.job")), "Indented;x.job");
  EXPECT_EQ(formatRegisterValue(groupStart(u"   G")), "-G");
}

class RegisterTest : public ::testing::Test {
 protected:
  void SetUp() override { settings_.openStore(folder_.path("settings.ini"), kStoreOwnFile); }
  TestFolder folder_;
  ProfileStore settings_;
};

TEST_F(RegisterTest, EntriesAreReadByNumber) {
  settings_.putString("Job", "1", "Alpha;C:\\a.job");
  settings_.putText("Job", "2", u";" + folder_.path("Jobs/Nameless.job"));
  settings_.putString("Job", "3", "SettingsJob");
  struct Case {
    int number;
    const char16_t* name;
    bool hasPath;
  } cases[] = {
      {1, u"Alpha", true}, {2, u"Nameless", true}, {3, u"SettingsJob", false}, {4, u"", false},
      {-1, u"", false},
  };
  for (const Case& c : cases) {
    Job job;
    job.jobName = u"stale";
    job.jobFilePath = u"stale";
    (void)readRegisterEntry(c.number, job, settings_);
    EXPECT_EQ(job.jobName, c.name) << c.number;
    EXPECT_EQ(!job.jobFilePath.empty(), c.hasPath) << c.number;
  }
}

// An entry whose name or path does not fit is refused, never run cut; one whose value
// is long only in bytes (marked UTF-8) reads whole.
TEST_F(RegisterTest, EntriesThatDoNotFitAreRefusedWhole) {
  const std::u16string wide(kMaxJobPathChars - 4, u'\u0416');
  settings_.putString("Job", "1", std::string(kMaxJobNameChars + 1, 'n') + ";a.job");
  settings_.putString("Job", "2", "Long;" + std::string(kMaxJobPathChars + 1, 'p'));
  settings_.putString("Job", "3", formatRegisterValue(jobRow(u"Wide", wide + u".job")));
  const struct {
    int number;
    ErrorCode result;
  } cases[] = {{1, kErrorFilenameExcedRange}, {2, kErrorFilenameExcedRange}, {3, kSuccess}};
  for (const auto& c : cases) {
    Job job;
    EXPECT_EQ(readRegisterEntry(c.number, job, settings_), c.result) << c.number;
    EXPECT_EQ(job.jobFilePath.empty(), c.result != kSuccess) << c.number;
    EXPECT_EQ(fitsRegisterLimits(readRegister(settings_)[static_cast<size_t>(c.number - 1)]), c.result == kSuccess);
  }
  Job job;
  ASSERT_EQ(readRegisterEntry(3, job, settings_), kSuccess);
  EXPECT_EQ(job.jobFilePath, expandPath(wide + u".job"));
}

TEST_F(RegisterTest, JobNumbersAreFoundInFileOrder) {
  folder_.write("settings.ini",
                "[Job]\r\n3=Third;c.job\r\nx=Backup;x.job\r\n1=backup;b.job\r\n2=Backup;d.job\r\n"
                "4=-Backup\r\n");
  settings_.reloadStore();
  EXPECT_EQ(findJobNumber(u"BACKUP", settings_), 1);  // non-numeric keys are skipped
  EXPECT_EQ(findJobNumber(u"third", settings_), 3);
  EXPECT_EQ(findJobNumber(u"Missing", settings_), -1);
  EXPECT_EQ(findJobNumber(u"", settings_), -1);
}

TEST_F(RegisterTest, WritingReplacesTheSection) {
  folder_.write("settings.ini", "[CRVL]\r\nOpt=1\r\n\r\n[Job]\r\n1=Old;o.job\r\n7=Gap\r\n\r\n[Task]\r\n1=t\r\n");
  settings_.reloadStore();
  const std::vector<RegisterRow> rows = {groupStart(u"G"), jobRow(u"  A", u"a.job"), groupEnd(),
                                         separator(), jobRow(u"B")};
  ASSERT_EQ(writeRegister(rows, settings_), kSuccess);
  EXPECT_EQ(folder_.read("settings.ini"),
            "[CRVL]\r\nOpt=1\r\n\r\n[Task]\r\n1=t\r\n\r\n[Job]\r\n1=-G\r\n2=A;a.job\r\n3=-\r\n4=--\r\n"
            "5=B\r\n");
  std::vector<RegisterRow> expected = rows;
  expected[1].name = u"A";
  EXPECT_EQ(readRegister(settings_), expected);
}

TEST_F(RegisterTest, WritingDropsEveryOldCopyOfTheSection) {
  // A file edited by hand may hold the section twice; the register written is the only one.
  folder_.write("settings.ini", "[Job]\r\n1=Old;o.job\r\n\r\n[CRVL]\r\nOpt=1\r\n\r\n[Job]\r\n1=Older\r\n9=Stale\r\n");
  settings_.reloadStore();
  const std::vector<RegisterRow> rows = {jobRow(u"New", u"n.job")};
  ASSERT_EQ(writeRegister(rows, settings_), kSuccess);
  EXPECT_EQ(folder_.read("settings.ini"), "[CRVL]\r\nOpt=1\r\n\r\n[Job]\r\n1=New;n.job\r\n");
  EXPECT_EQ(readRegister(settings_), rows);
}

// Names edited by hand whose blanks are all that keeps them from reading as another
// kind of entry keep those blanks when the register is written again.
TEST_F(RegisterTest, HandEditedNamesKeepTheirKindWhenRewritten) {
  folder_.write("settings.ini", "[Job]\r\n1=\"  -x\";x.job\r\n2=- \r\n3=- -\r\n4=-\r\n5=-\r\n");
  settings_.reloadStore();
  const std::vector<RegisterRow> rows = {jobRow(u"  -x", u"x.job"), groupStart(u" "), groupStart(u" -"),
                                         groupEnd(), groupEnd()};
  ASSERT_EQ(readRegister(settings_), rows);
  ASSERT_EQ(writeRegister(rows, settings_), kSuccess);
  settings_.reloadStore();
  EXPECT_EQ(readRegister(settings_), rows) << folder_.read("settings.ini");
  // Such names made in the program keep one blank.
  EXPECT_EQ(parseRegisterValue(formatRegisterValue(jobRow(u"-y", u"y.job"))), jobRow(u" -y", u"y.job"));
  EXPECT_EQ(parseRegisterValue(formatRegisterValue(groupStart(u""))), groupStart(u" "));
}

// A settings file saved as UTF-8 with a byte order mark keeps its names through a
// register rewrite.
TEST_F(RegisterTest, Utf8SettingsKeepTheirNamesWhenRewritten) {
  folder_.write("settings.ini", "\xEF\xBB\xBF[Job]\r\n1=Gr\xC3\xBC\xC3\x9F" "e;g.job\r\n");
  settings_.reloadStore();
  ASSERT_TRUE(settings_.isUtf8File());
  const std::vector<RegisterRow> rows = {jobRow(u"Gr\u00FC\u00DFe", u"g.job"), jobRow(u"\u03A9", u"o.job"),
                                         groupStart(u"\u20AC")};
  ASSERT_EQ(writeRegister(rows, settings_), kSuccess);
  EXPECT_EQ(folder_.read("settings.ini"),
            "\xEF\xBB\xBF[Job]\r\n1=Gr\xC3\xBC\xC3\x9F" "e;g.job\r\n2=\xCE\xA9;o.job\r\n3=-\xE2\x82\xAC\r\n");
  settings_.reloadStore();
  EXPECT_EQ(readRegister(settings_), rows);
  EXPECT_EQ(findJobNumber(u"gr\u00FC\u00DFe", settings_), 1);
}

// The index made in one pass answers as the search over the text does.
TEST_F(RegisterTest, NumberIndexAnswersAsTheSearch) {
  folder_.write("settings.ini",
                "[Task]\r\n1=Backup;s\r\n\r\n[Job]\r\n3=Third;c.job\r\nx=Backup;x.job\r\n1=backup;b.job\r\n"
                "2=Backup;d.job\r\n4=-Backup\r\n5=\"'Til dawn\"\r\n6='Q\";x'\r\n");
  settings_.reloadStore();
  const JobNumberIndex index(settings_);
  for (const char16_t* name : {u"BACKUP", u"third", u"Missing", u"", u"-Backup", u"'Til dawn", u"Q\";x"}) {
    EXPECT_EQ(index.find(name), findJobNumber(name, settings_)) << ::testing::PrintToString(name);
  }
  EXPECT_EQ(index.find(u"q\";X"), 6);
}

TEST(NewJobName, FirstFreeName) {
  struct Case {
    std::vector<RegisterRow> rows;
    const char16_t* name;
  } cases[] = {
      {{}, u"Untitled"},
      {{jobRow(u"Other")}, u"Untitled"},
      {{jobRow(u"   untitled")}, u"Untitled (2)"},
      {{jobRow(u"Untitled"), jobRow(u"Untitled (2)")}, u"Untitled (3)"},
      {{jobRow(u"Untitled (2)")}, u"Untitled"},
      {{groupStart(u"Untitled"), groupEnd()}, u"Untitled (2)"},
  };
  for (const Case& c : cases) EXPECT_EQ(newJobName(c.rows), c.name);
  EXPECT_EQ(newJobName({jobRow(u"Neu")}, u"Neu"), u"Neu (2)");
}

TEST(RegisterList, DisplayIndentsGroups) {
  const RegisterList list({jobRow(u"Top"), groupStart(u"G"), jobRow(u"In"), groupStart(u"H"),
                           jobRow(u"Deep"), groupEnd(), groupEnd(), separator(), groupEnd(),
                           groupStart(u"Open"), jobRow(u"Last")});
  const std::u16string shown[] = {u"Top",     u"G",        u"   In", u"   H",
                                  u"      Deep", u"   -",  u"-",      u"----------",
                                  u"-",       u"Open",     u"   Last"};
  ASSERT_EQ(list.size(), std::size(shown));
  for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list.displayText(i), shown[i]) << i;
}

TEST(RegisterList, RowsAreInsertedAfterTheSelection) {
  RegisterList list({jobRow(u"A"), jobRow(u"B")});
  EXPECT_EQ(list.addSeparator(), 2u);  // nothing selected: at the end
  list.select(0);
  const size_t group = list.addMenu();
  EXPECT_EQ(group, 1u);
  EXPECT_EQ(list.selected(), 1);
  EXPECT_EQ(list.rows()[1], groupStart(u"Untitled"));
  EXPECT_EQ(list.rows()[2], groupEnd());
  Job job = list.newJob();
  EXPECT_EQ(job.jobName, u"Untitled (2)");
  EXPECT_EQ(job.optionFlags, DefaultMirrorFlags);
  EXPECT_EQ(job.filterSwitch, 0u);
  job.jobFilePath = u"n.job";
  EXPECT_EQ(list.insertJob(job), 2u);  // inside the new group
  EXPECT_EQ(list.displayText(2), u"   Untitled (2)");
  EXPECT_EQ(list.rows()[4], jobRow(u"B"));
}

TEST(RegisterList, RemovingRows) {
  const std::vector<RegisterRow> start = {groupStart(u"G"), jobRow(u"A"), groupStart(u"H"),
                                          groupEnd(), groupEnd(), separator()};
  struct Case {
    int selected;
    bool removed;
    std::vector<RegisterRow> rows;
    int selectedAfter;
  } cases[] = {
      {0, true, {jobRow(u"A"), groupStart(u"H"), groupEnd(), separator()}, 0},
      {2, true, {groupStart(u"G"), jobRow(u"A"), groupEnd(), separator()}, 2},
      {1, true, {groupStart(u"G"), groupStart(u"H"), groupEnd(), groupEnd(), separator()}, 1},
      {5, true, {groupStart(u"G"), jobRow(u"A"), groupStart(u"H"), groupEnd(), groupEnd()}, 4},
      {3, false, start, 3},  // a group end alone stays
      {-1, false, start, -1},
  };
  for (const Case& c : cases) {
    RegisterList list(start);
    list.select(c.selected);
    EXPECT_EQ(list.removeSelected(), c.removed) << c.selected;
    EXPECT_EQ(list.rows(), c.rows) << c.selected;
    EXPECT_EQ(list.selected(), c.selectedAfter) << c.selected;
  }
  RegisterList unclosed({jobRow(u"A"), groupStart(u"G"), jobRow(u"B")});
  unclosed.select(1);
  EXPECT_TRUE(unclosed.removeSelected());
  EXPECT_EQ(unclosed.rows(), (std::vector<RegisterRow>{jobRow(u"A"), jobRow(u"B")}));
  RegisterList single({jobRow(u"A")});
  single.select(0);
  EXPECT_TRUE(single.removeSelected());
  EXPECT_EQ(single.selected(), -1);
}

TEST(RegisterList, MovingRows) {
  const std::vector<RegisterRow> start = {jobRow(u"A"), groupStart(u"G"), separator(), groupEnd(),
                                          jobRow(u"B")};
  struct Case {
    int selected;
    bool up;
    bool moved;
    int selectedAfter;
  } cases[] = {
      {0, true, false, 0},  {0, false, true, 1}, {4, false, false, 4}, {4, true, true, 3},
      {2, true, true, 1},   {1, false, false, 1}, {3, true, false, 3},  {-1, true, false, -1},
  };
  for (const Case& c : cases) {
    RegisterList list(start);
    list.select(c.selected);
    EXPECT_EQ(c.up ? list.moveUp() : list.moveDown(), c.moved) << c.selected << c.up;
    EXPECT_EQ(list.selected(), c.selectedAfter);
    if (c.moved) {
      EXPECT_EQ(list.rows()[static_cast<size_t>(c.selectedAfter)], start[static_cast<size_t>(c.selected)]);
    } else {
      EXPECT_EQ(list.rows(), start);
    }
  }
  RegisterList list(start);
  list.select(4);
  ASSERT_TRUE(list.moveUp());  // B enters the group
  EXPECT_EQ(list.displayText(3), u"   B");
}

TEST(RegisterList, RenamingJobsAndGroupStartsOnly) {
  RegisterList list({jobRow(u"A"), groupStart(u"G"), groupEnd(), separator()});
  const bool allowed[] = {true, true, false, false};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(list.canRename(i), allowed[i]);
    EXPECT_EQ(list.rename(i, u"  New"), allowed[i]);
  }
  EXPECT_EQ(list.rows()[0].name, u"New");
  EXPECT_EQ(list.rows()[1].name, u"New");
  EXPECT_EQ(list.rows()[2], groupEnd());
  list.rename(0, std::u16string(60, u'x'));
  EXPECT_EQ(list.rows()[0].name.size(), kMaxJobNameChars);
}

TEST_F(RegisterTest, OpenAndSaveJobFiles) {
  folder_.write("a.job", "[CRVL]\r\nOption=0;d\r\n");
  RegisterList list({jobRow(u"A", folder_.path("a.job")), separator()});
  list.select(1);
  EXPECT_FALSE(list.openJobFile(folder_.path("b.job")));
  EXPECT_EQ(list.saveJobFileAs(folder_.path("b.job")), kErrorInvalidFunction);
  list.select(0);
  EXPECT_EQ(list.saveJobFileAs(folder_.path("a.job")), kSuccess);  // the same file: nothing
  EXPECT_FALSE(folder_.exists("b.job"));
  EXPECT_EQ(list.saveJobFileAs(folder_.path("b.job")), kSuccess);
  EXPECT_EQ(folder_.read("b.job"), "[CRVL]\r\nOption=0;d\r\n");
  EXPECT_EQ(list.displayPath(0), folder_.path("b.job"));
  EXPECT_EQ(list.rows()[0].name, u"A");
  EXPECT_NE(list.saveJobFileAs(folder_.path("missing/c.job")), kSuccess);
  EXPECT_EQ(list.displayPath(0), folder_.path("b.job"));
  EXPECT_TRUE(list.openJobFile(folder_.path("a.job")));
  EXPECT_EQ(list.displayPath(0), folder_.path("a.job"));
}

TEST_F(RegisterTest, EditedJobIsSavedAndCommitted) {
  folder_.makeFolder("jobs");
  settings_.putText("CRVL", "Job", folder_.path("jobs"));
  RegisterList list;
  list.load(settings_);
  Job job = list.newJob();
  job.folderList = {u"+L;R"};
  ASSERT_EQ(storeEditedJob(job, settings_), kSuccess);
  list.insertJob(job);
  EXPECT_TRUE(folder_.exists("jobs/Untitled.job"));
  ASSERT_EQ(list.commit(settings_), kSuccess);

  Job loaded;
  ASSERT_EQ(list.loadRowJob(0, settings_, loaded), kSuccess);
  EXPECT_EQ(loaded.includedPairs, std::vector<std::u16string>{u"L;R"});
  RegisterList again;
  again.load(settings_);
  EXPECT_EQ(again.rows(), list.rows());
  EXPECT_EQ(findJobNumber(u"untitled", settings_), 1);
}

TEST(RegisterMerge, EditsLaidOntoTheRegisterAsStored) {
  const RegisterRow a = jobRow(u"A", u"a.job"), b = jobRow(u"B", u"b.job"), c = jobRow(u"C", u"c.job");
  const RegisterRow n = jobRow(u"N", u"n.job"), renamed = jobRow(u"B2", u"b.job");
  constexpr size_t kNew = kNewRegisterRow;
  struct Case {
    const char* what;
    std::vector<RegisterRow> edited;
    std::vector<size_t> origins;
    std::vector<RegisterRow> current;
    std::vector<RegisterRow> expected;
  } cases[] = {
      {"unchanged elsewhere: the edit", {c, a, separator()}, {2, 0, kNew}, {a, b, c}, {c, a, separator()}},
      {"added at the end, follows its row", {c, renamed}, {2, 1}, {a, b, c, n}, {c, n, renamed}},
      {"added after a row the user removed", {a, b}, {0, 1}, {a, b, c, n}, {a, b, n}},
      {"added at the start", {b, a}, {1, 0}, {n, a, b, c}, {n, b, a}},
      {"removed elsewhere, untouched here", {a, c, b}, {0, 2, 1}, {a, c}, {a, c}},
      {"removed elsewhere, renamed here", {a, renamed, c}, {0, 1, 2}, {a, c}, {a, renamed, c}},
      {"changed elsewhere", {a, c}, {0, 2}, {a, renamed, c}, {a, renamed, c}},
  };
  for (const Case& t : cases) {
    EXPECT_EQ(mergeRegisterEdits({a, b, c}, t.edited, t.origins, t.current), t.expected) << t.what;
  }
}

TEST(RegisterMerge, ARowStoredAgainWithItsPathContractedIsStillTheLoadedRow) {
  TestFolder folder;
  const RegisterRow a = jobRow(u"A", folder.path("a.job")), b = jobRow(u"B", folder.path("b.job"));
  const RegisterRow n = jobRow(u"N", u"n.job");
  const RegisterRow storedA = jobRow(u"A", contractPath(a.path)), storedB = jobRow(u"B", contractPath(b.path));
  ASSERT_NE(storedA.path, a.path);  // the test folder lies in a folder that a macro stands for
  // The user removed A; meanwhile the console added N and stored every path contracted.
  EXPECT_EQ(mergeRegisterEdits({a, b}, {b}, {1}, {storedA, storedB, n}), (std::vector<RegisterRow>{b, n}));
}

TEST_F(RegisterTest, CommitKeepsWhatAnotherProcessAddedMeanwhile) {
  ASSERT_EQ(writeRegister({jobRow(u"A", u"a.job"), jobRow(u"B", u"b.job"), jobRow(u"C", u"c.job")}, settings_),
            kSuccess);
  RegisterList list;
  list.load(settings_);
  ASSERT_TRUE(list.rename(1, u"B2"));
  list.select(2);
  ASSERT_TRUE(list.moveUp());
  {
    ProfileStore console;  // the console's "job new" while the dialog is open
    console.openStore(folder_.path("settings.ini"), kStoreOwnFile);
    std::vector<RegisterRow> rows = readRegister(console);
    rows.push_back(jobRow(u"New", u"new.job"));
    ASSERT_EQ(writeRegister(rows, console), kSuccess);
  }
  ASSERT_EQ(list.commit(settings_), kSuccess);
  settings_.reloadStore();
  const std::vector<RegisterRow> expected = {jobRow(u"A", u"a.job"), jobRow(u"C", u"c.job"),
                                             jobRow(u"New", u"new.job"), jobRow(u"B2", u"b.job")};
  EXPECT_EQ(readRegister(settings_), expected);
}

}  // namespace
}  // namespace crvl
