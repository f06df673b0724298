// Tasks as the settings hold them, and the rules of the task dialogs.
#include "schedule/task.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/profile_store.h"
#include "platform/test_folder.h"
#include "schedule/plan_form.h"
#include "schedule/task_list.h"
#include "schedule/task_units.h"

namespace crvl {
namespace {

// A settings store with a register of four jobs (one in a group) and no file of its own
// until a test flushes it.
class TaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.write("settings.ini",
                  "[Job]\r\n1=Backup;b.job\r\n2=-Group\r\n3=Photos;p.job\r\n4=-\r\n5=--\r\n6=\"a;b\";a.job\r\n"
                  "7=Na\xEFve;n.job\r\n");
    settings_.openStore(folder_.path("settings.ini"), kStoreOwnFile);
  }
  Task parse(std::string_view value) { return parseTask(value, settings_); }

  testing::TestFolder folder_;
  ProfileStore settings_;
};

TEST_F(TaskTest, StoredValuesReadAsTheirFields) {
  struct Case {
    const char* value;
    const char16_t* name;  // empty: invalid
    int32_t number;
    char kind, period;
    uint64_t delay, repeat;
  } cases[] = {
      {"Backup;so", u"Backup", 1, 's', 'o', 0, 0},
      {"backup;ao;d60;r3600", u"backup", 1, 'a', 'o', 60, 3600},
      {"Photos;tw;d1234;r34", u"Photos", 3, 't', 'w', 1234, 34},
      {"Photos;s", u"Photos", 3, 's', 0, 0, 0},
      {"Photos;so;d5;d7;r1;r9", u"Photos", 3, 's', 'o', 7, 9},  // a later field wins
      {"Photos;so;x1;d5", u"Photos", 3, 's', 'o', 5, 0},         // unknown fields ignored
      {"Photos;so;;d5", u"Photos", 3, 's', 'o', 0, 0},           // reading ends at an empty field
      {"Photos;so;d-5;rabc", u"Photos", 3, 's', 'o', 0, 0},      // negative and non-numbers: 0
      {"Photos;so;d99999999999999999999999", u"Photos", 3, 's', 'o', INT64_MAX, 0},
      {"\"a;b\";so", u"a;b", 6, 's', 'o', 0, 0},                 // quoted name with ';'
      {"Na\xEFve;so", u"Na\u00EFve", 7, 's', 'o', 0, 0},           // the code page's bytes
      {"\xEF\xBB\xBFNa\xC3\xAFve;so", u"Na\u00EFve", 7, 's', 'o', 0, 0},  // marked UTF-8
      {"Na\xC3\xAFve;so", u"", -1, 0, 0, 0, 0},                  // unmarked UTF-8 is another name
      {"Gone;so", u"", -1, 0, 0, 0, 0},                          // no such job
      {"Backup;xo", u"", -1, 0, 0, 0, 0},                        // unknown kind
      {"Backup", u"", -1, 0, 0, 0, 0},
      {";so", u"", -1, 0, 0, 0, 0},
      {"", u"", -1, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const Task t = parse(c.value);
    EXPECT_EQ(t.jobName, c.name);
    EXPECT_EQ(t.valid(), c.name[0] != 0);
    if (!t.valid()) continue;
    EXPECT_EQ(t.jobNumber, c.number);
    EXPECT_EQ(t.kind, c.kind);
    EXPECT_EQ(t.period, c.period);
    EXPECT_EQ(t.delayOrStart, c.delay);
    EXPECT_EQ(t.repeatOrWeekdays, c.repeat);
  }
}

TEST_F(TaskTest, NamesAreCutTo40CharactersBeforeTheLookup) {
  const std::string longName(45, 'x');
  EXPECT_FALSE(parse(longName + ";so").valid());  // the register has no 40-x job
  settings_.putString("Job", "8", std::string(40, 'x') + ";x.job");
  const Task t = parse(longName + ";so");
  EXPECT_EQ(t.jobName, std::u16string(40, u'x'));
  EXPECT_EQ(t.jobNumber, 8);
}

TEST_F(TaskTest, WrittenValuesReadBackToTheSameTask) {
  struct Case {
    Task task;
    const char* stored;
  } cases[] = {
      {{u"Backup", 1, 's', 'o', 0, 0}, "Backup;so"},
      {{u"Backup", 1, 's', 0, 0, 0}, "Backup;so"},  // the period is always written
      {{u"Backup", 1, 'a', 'o', 0, 180}, "Backup;ao;r180"},
      {{u"Photos", 3, 't', 'w', 1234, 34}, "Photos;tw;d1234;r34"},
      {{u"a;b", 6, 's', 'o', 60, 0}, "\"a;b\";so;d60"},
      {{u"Na\u00EFve", 7, 'a', 'o', 0, 1}, "Na\xEFve;ao;r1"},  // ANSI where it round-trips
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    EXPECT_EQ(formatTask(c.task), c.stored);
    Task back = parse(c.stored);
    Task expected = c.task;
    if (expected.period == 0) expected.period = kPeriodOnce;
    EXPECT_EQ(back, expected);
  }
  // A name outside the code page is stored as marked UTF-8 and comes back.
  settings_.putText("Job", "9", u"\u65E5\u672C;j.job");
  const Task wide{u"\u65E5\u672C", 9, 's', 'o', 0, 0};
  EXPECT_EQ(parse(formatTask(wide)), wide);
}

// Tasks of jobs whose names hold quotes are found again after a save, with the task
// section before the register (the order a rewritten register leaves).
TEST_F(TaskTest, QuotedNamesSurviveSaveAndLoad) {
  folder_.write("settings.ini", "[Task]\r\n\r\n[Job]\r\n1=\"'Til dawn\";t.job\r\n2='Q\";x';q.job\r\n3=\" sp\"\r\n");
  settings_.reloadStore();
  const std::vector<Task> tasks = {{u"'Til dawn", 1, 's', 'o', 0, 0}, {u"Q\";x", 2, 'a', 'o', 5, 0}};
  ASSERT_EQ(saveTasks(tasks, settings_), kSuccess);
  settings_.reloadStore();
  EXPECT_EQ(loadTasks(settings_), tasks) << folder_.read("settings.ini");
}

TEST_F(TaskTest, SavingRenumbersAndDropsWhatNoLongerReads) {
  settings_.putString("Task", "1", "Backup;so");
  settings_.putString("Task", "2", "Gone;ao");      // its job was removed
  settings_.putString("Task", "5", "Photos;td;d1");
  settings_.putString("Task", "x", "Backup;qo");    // no known kind
  const std::vector<Task> tasks = loadTasks(settings_);
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(tasks[1].jobName, u"Photos");
  ASSERT_EQ(saveTasks(tasks, settings_), kSuccess);
  const std::string text = folder_.read("settings.ini");
  EXPECT_NE(text.find("[Task]\r\n1=Backup;so\r\n2=Photos;td;d1\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Gone"), std::string::npos);
  EXPECT_EQ(text.find("5=Photos"), std::string::npos);
  // Records without a name or a kind are never written.
  ASSERT_EQ(saveTasks({Task{}, Task{u"Backup", 1, 0, 0, 0, 0}}, settings_), kSuccess);
  EXPECT_EQ(loadTasks(settings_).size(), 0u);
}

TEST(TaskUnits, DelaysAndRepeatsShowInTheLargestUnitThatDivides) {
  struct Case {
    uint64_t seconds;
    bool checked;
    uint64_t number;
    char unit;
  } cases[] = {
      {0, false, 0, 'S'},      {1, true, 1, 'S'},         {90, true, 90, 'S'},
      {180, true, 3, 'M'},     {7200, true, 2, 'H'},      {604800, true, 7, 'Z'},
      {86460, true, 1441, 'M'}, {UINT64_MAX, true, UINT64_MAX, 'S'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    const UnitValue v = unitValueOf(c.seconds);
    EXPECT_EQ(v.checked, c.checked);
    if (c.checked) {
      EXPECT_EQ(v.number, c.number);
    }
    EXPECT_EQ(kTaskUnits[v.unit].letter, c.unit);
  }
  EXPECT_EQ(describeSeconds(180, [](uint16_t id) { return id == kTextfLMi ? std::u16string(u"Minutes") : u"?"; }),
            u"3 Minutes");
}

TEST(TaskUnits, TheDialogReadsBackSecondsWithTheRepeatRule) {
  struct Case {
    bool checked;
    const char16_t* text;
    int unit;
    bool repeat;
    uint64_t seconds;
  } cases[] = {
      {false, u"5", 1, false, 0},       {true, u"5", 1, false, 300},
      {true, u"3", 2, true, 10800},     {true, u"0", 1, true, 1},       // a checked repeat of 0 is 1 s
      {true, u"0", 1, false, 0},        {true, u"abc", 3, true, 1},     // not a number: 0
      {true, u"12x", 0, false, 12},     {true, u"4", -1, false, 4},     // no unit: seconds
      {true, u"4", 9, false, 4},        {true, u"99999999999999999999", 3, false, UINT64_MAX},
      {true, u"213503982334602", 3, false, UINT64_MAX},                   // saturates, never wraps
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
    EXPECT_EQ(secondsFromDialog(c.checked, c.text, c.unit, c.repeat), c.seconds);
  }
}

TEST(PlanForm, VisibilityFollowsKindAndPeriod) {
  struct Case {
    char kind, period;
    PlanVisibility v;  // delayAndRepeat, period, startLabel, date, time, dateChooser, weekdays
  } cases[] = {
      {'s', 'w', {true, false, false, false, false, false, false}},
      {'a', 'o', {true, false, false, false, false, false, false}},
      {'t', 'o', {false, true, true, true, true, true, false}},
      {'t', 'd', {false, true, true, false, true, false, false}},
      {'t', 'w', {false, true, true, false, true, false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((std::string{c.kind, c.period}));
    const PlanVisibility v = planVisibility(c.kind, c.period);
    EXPECT_EQ(v.delayAndRepeat, c.v.delayAndRepeat);
    EXPECT_EQ(v.period, c.v.period);
    EXPECT_EQ(v.startLabel, c.v.startLabel);
    EXPECT_EQ(v.date, c.v.date);
    EXPECT_EQ(v.time, c.v.time);
    EXPECT_EQ(v.dateChooser, c.v.dateChooser);
    EXPECT_EQ(v.weekdays, c.v.weekdays);
  }
}

TEST_F(TaskTest, PlanFormFillsAndReadsBackTasks) {
  const std::vector<std::u16string> jobs = planJobNames(readRegister(settings_));
  EXPECT_EQ(jobs, (std::vector<std::u16string>{u"Backup", u"Photos", u"a;b", u"Na\u00EFve"}));

  // A weekly task with Monday and Friday: mask 34, shown with those two boxes.
  CalendarTime start;
  start.year = 2026;
  start.month = 12;
  start.day = 24;
  start.hour = 18;
  start.minute = 30;
  start.second = 5;
  const Task weekly{u"Photos", 3, 't', 'w', packDateTime(start), 34};
  PlanFields f = planFieldsOf(weekly, jobs);
  EXPECT_EQ(f.job, 1);
  EXPECT_EQ(f.kind, 2);
  EXPECT_EQ(f.period, 2);
  EXPECT_EQ(f.weekdays, (std::array<bool, 7>{false, true, false, false, false, true, false}));
  EXPECT_EQ(f.start.hour, 18);
  PlanInput in;
  in.job = f.job;
  in.kind = f.kind;
  in.period = f.period;
  in.date = f.start;
  in.time = f.start;
  in.weekdays = f.weekdays;
  EXPECT_EQ(taskFromPlan(in, jobs), (Task{u"Photos", -1, 't', 'w', packDateTime(start), 34}));

  // Names match exactly or not at all; unknown kinds and periods select the first entry.
  f = planFieldsOf(Task{u"photos", 3, 'q', 'z', 180, 0}, jobs);
  EXPECT_EQ(f.job, 0);
  EXPECT_EQ(f.kind, 0);
  EXPECT_EQ(f.period, 0);
  EXPECT_TRUE(f.delay.checked);
  EXPECT_EQ(f.delay.number, 3u);
  EXPECT_EQ(kTaskUnits[f.delay.unit].letter, 'M');

  // A start task takes delay and repeat in seconds; the period list defaults to "Once".
  PlanInput s;
  s.job = 0;
  s.kind = 0;
  s.delayChecked = true;
  s.delayText = u"2";
  s.delayUnit = 1;
  s.repeatChecked = true;
  s.repeatText = u"0";
  s.repeatUnit = 2;
  EXPECT_EQ(taskFromPlan(s, jobs), (Task{u"Backup", -1, 's', 'o', 120, 1}));
  // Without a job there is no name, and the list will not take the task.
  s.job = -1;
  EXPECT_FALSE(taskFromPlan(s, jobs).valid());
}

TEST_F(TaskTest, TaskListButtonsMovesAndCommit) {
  TaskList list;
  list.load(settings_);
  EXPECT_EQ(list.buttons(), (TaskListButtons{true, false, false, false, false}));
  EXPECT_FALSE(list.add(Task{}));  // no job chosen
  ASSERT_TRUE(list.add(Task{u"Backup", 1, 's', 'o', 0, 0}));
  ASSERT_TRUE(list.add(Task{u"Photos", 3, 'a', 'o', 0, 60}));
  ASSERT_TRUE(list.add(Task{u"a;b", 6, 't', 'd', 5, 0}));
  EXPECT_EQ(list.selected(), 2);
  EXPECT_EQ(list.buttons(), (TaskListButtons{true, true, true, true, false}));
  list.select(0);
  EXPECT_EQ(list.buttons(), (TaskListButtons{true, true, true, false, true}));
  EXPECT_FALSE(list.moveUp());
  EXPECT_TRUE(list.moveDown());
  EXPECT_EQ(list.selected(), 1);
  EXPECT_EQ(list.rows()[1].jobName, u"Backup");
  EXPECT_TRUE(list.removeSelected());
  EXPECT_EQ(list.selected(), 1);  // the row that moved into its place
  EXPECT_EQ(list.rows()[1].jobName, u"a;b");
  EXPECT_TRUE(list.editSelected(Task{u"Backup", 1, 't', 'o', 7, 0}));
  list.select(7);
  EXPECT_EQ(list.selected(), -1);
  EXPECT_FALSE(list.removeSelected());
  EXPECT_EQ(TaskList::detailsTextId('a'), kTextAval);
  EXPECT_EQ(TaskList::detailsTextId('x'), 0);
  ASSERT_EQ(list.commit(settings_), kSuccess);
  EXPECT_NE(folder_.read("settings.ini").find("[Task]\r\n1=Photos;ao;r60\r\n2=Backup;to;d7\r\n"), std::string::npos);
  TaskList reread;
  reread.load(settings_);
  EXPECT_EQ(reread.rows().size(), 2u);
}

}  // namespace
}  // namespace crvl
