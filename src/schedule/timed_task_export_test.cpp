// The export of timed tasks: against a scheduler of the test's own (which can refuse),
// and against the system's scheduler (Task Scheduler under Wine, systemd unit files on
// POSIX) together with the start-with-the-session entry.
#include "schedule/timed_task_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jobs/profile_store.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/startup_entry.h"
#include "platform/test_folder.h"
#include "platform/text.h"
#include "schedule/app_state.h"
#include "schedule/session_start.h"
#include "schedule/settings_tag.h"

namespace crvl {
namespace {

using platform::WorkItem;
using platform::WorkTrigger;

constexpr std::u16string_view kProgram = u"C:\\Tools\\CRVL.EXE";

PackedDateTime at(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute) {
  CalendarTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = 42;  // seconds are dropped
  return packDateTime(t);
}

Task timed(std::u16string job, char period, PackedDateTime start, uint64_t weekdays = 0) {
  return Task{std::move(job), 1, kStartTimed, period, start, weekdays};
}

// A scheduler in memory that records what is done to it.
struct FakeScheduler {
  std::map<std::u16string, WorkItem> items;  // by name
  std::vector<std::u16string> created, removed;
  bool refuseAccount = false;
  ErrorCode listResult = kSuccess;
  std::u16string lastPassword;
  std::u16string prefix = u"Corvell ";  // the names of the exporting settings file

  SchedulerOps ops() {
    SchedulerOps o;
    o.context = this;
    o.list = [](void* c, std::vector<WorkItem>& out) -> ErrorCode {
      auto* self = static_cast<FakeScheduler*>(c);
      out.clear();
      for (const auto& [name, item] : self->items) out.push_back(item);
      return self->listResult;
    };
    o.remove = [](void* c, std::u16string_view name) -> ErrorCode {
      auto* self = static_cast<FakeScheduler*>(c);
      if (self->items.erase(std::u16string(name)) != 0) self->removed.emplace_back(name);
      return kSuccess;
    };
    o.create = [](void* c, const WorkItem& item, std::u16string_view, std::u16string_view password,
                  bool* refused) -> ErrorCode {
      auto* self = static_cast<FakeScheduler*>(c);
      self->items[item.name] = item;
      self->created.push_back(item.name);
      self->lastPassword.assign(password);
      *refused = self->refuseAccount;
      return kSuccess;
    };
    o.needsAccount = true;
    o.itemName = [](void* c, int n) {
      return static_cast<FakeScheduler*>(c)->prefix + platform::fromUtf8(std::to_string(n));
    };
    o.namePrefix = prefix;
    o.account = u"user";
    return o;
  }
  void forget() {
    created.clear();
    removed.clear();
  }
};

struct Password {
  std::u16string remembered;
  bool cancel = false;
  int asked = 0;
  int forgotten = 0;
  AccountPassword seam() {
    AccountPassword p;
    p.context = this;
    p.obtain = [](void* c, std::u16string_view, std::u16string& out) {
      auto* self = static_cast<Password*>(c);
      if (self->remembered.empty()) {
        ++self->asked;
        if (self->cancel) return false;
        self->remembered = u"secret";
      }
      out = self->remembered;
      return true;
    };
    p.forget = [](void* c) {
      auto* self = static_cast<Password*>(c);
      self->remembered.clear();
      ++self->forgotten;
    };
    return p;
  }
};

ExportReport exportOnce(const std::vector<Task>& tasks, FakeScheduler& scheduler, Password& password) {
  SchedulerOps ops = scheduler.ops();
  const AccountPassword seam = password.seam();
  return exportTimedTasks(tasks, kProgram, u"", ops, &seam);
}

TEST(TimedTaskExport, TriggersFollowThePeriod) {
  struct Case {
    Task task;
    WorkTrigger trigger;  // type, y, m, d, h, min, daysInterval, weeksInterval, weekdays
  } cases[] = {
      {timed(u"J", 'o', at(2026, 12, 24, 18, 5)), {0, 2026, 12, 24, 18, 5, 0, 0, 0}},
      {timed(u"J", 'd', at(2026, 1, 2, 8, 30)), {1, 2026, 1, 2, 8, 30, 1, 0, 0}},
      {timed(u"J", 'w', at(2026, 1, 2, 18, 0), 34 | 0x80), {2, 2026, 1, 2, 18, 0, 0, 1, 34}},
      {timed(u"J", 0, at(2026, 1, 2, 18, 0)), {0, 2026, 1, 2, 18, 0, 0, 0, 0}},  // no period: once
  };
  for (const Case& c : cases) EXPECT_EQ(triggerForTask(c.task), c.trigger) << c.task.period;
}

TEST(TimedTaskExport, JobNamesInParameters) {
  if constexpr (os::kWindows) {
    EXPECT_EQ(timedTaskParameters(u"Backup", u""), u"Backup");
    EXPECT_EQ(timedTaskParameters(u"My photos", u""), u"\"My photos\"");
    EXPECT_EQ(timedTaskParameters(u"say\"hi\"", u""), u"\"say\\\"hi\\\"\"");
    EXPECT_EQ(timedTaskParameters(std::u16string(300, u'x'), u"").size(), 255u);
    // Another settings file: its items start the console program with that file, in
    // words that CommandLineToArgvW reads back exactly, and are never cut.
    EXPECT_EQ(timedTaskParameters(u"a\\\"b c\\", u"C:\\x y\\s.ini"),
              u"--settings \"C:\\x y\\s.ini\" run \"a\\\\\\\"b c\\\\\"");
    EXPECT_EQ(timedTaskParameters(std::u16string(300, u'x'), u"C:\\s.ini"), u"");
    EXPECT_TRUE(timedTaskProgram(u"C:\\x y\\s.ini").ends_with(u"\\crvlc.exe"));
    EXPECT_TRUE(timedTaskProgram(u"").ends_with(u"\\CRVL.exe"));
  } else {
    EXPECT_EQ(timedTaskParameters(u"Backup", u"/h/s.ini"), u"--settings \"/h/s.ini\" run \"Backup\"");
    EXPECT_EQ(timedTaskParameters(u"100% \"$x\" a\\b", u"/h/my s.ini"),
              u"--settings \"/h/my s.ini\" run \"100%% \\\"$$x\\\" a\\\\b\"");
  }
}

TEST(TimedTaskExport, ConfirmingTwiceWithoutChangesRegistersNothingAgain) {
  FakeScheduler scheduler;
  Password password;
  const std::vector<Task> tasks = {timed(u"A", 'd', at(2026, 1, 1, 8, 30)), Task{u"S", 2, 's', 'o', 0, 0},
                                   timed(u"B", 'w', at(2026, 1, 1, 18, 0), 34)};
  ExportReport r = exportOnce(tasks, scheduler, password);
  EXPECT_EQ(r.timedTasks, 2u);
  EXPECT_EQ(r.created, 2u);
  EXPECT_EQ(scheduler.created, (std::vector<std::u16string>{u"Corvell 1", u"Corvell 2"}));
  EXPECT_EQ(scheduler.lastPassword, u"secret");
  EXPECT_EQ(scheduler.items[u"Corvell 2"].parameters, timedTaskParameters(u"B", u""));
  scheduler.forget();
  r = exportOnce(tasks, scheduler, password);
  EXPECT_EQ(r.kept, 2u);
  EXPECT_EQ(r.created + r.deleted, 0u);
  EXPECT_TRUE(scheduler.created.empty());
  EXPECT_TRUE(scheduler.removed.empty());
  EXPECT_EQ(password.asked, 1);  // the remembered password; and nothing asked when all match
}

TEST(TimedTaskExport, ChangedTasksReplaceTheirItemsAndStaleOnesGo) {
  struct Case {
    const char* what;
    std::vector<Task> before, after;
    std::vector<std::u16string> removed, created;
  } cases[] = {
      {"a daily task at another time", {timed(u"A", 'd', at(2026, 1, 1, 8, 30))},
       {timed(u"A", 'd', at(2026, 1, 1, 9, 30))}, {u"Corvell 1"}, {u"Corvell 1"}},
      {"only the weekdays of a weekly task", {timed(u"A", 'w', at(2026, 1, 1, 8, 30), 34)},
       {timed(u"A", 'w', at(2026, 1, 1, 8, 30), 35)}, {u"Corvell 1"}, {u"Corvell 1"}},
      {"a once task on another day", {timed(u"A", 'o', at(2026, 1, 1, 8, 30))},
       {timed(u"A", 'o', at(2026, 1, 2, 8, 30))}, {u"Corvell 1"}, {u"Corvell 1"}},
      {"the date of a daily task does not count", {timed(u"A", 'd', at(2026, 1, 1, 8, 30))},
       {timed(u"A", 'd', at(2027, 5, 5, 8, 30))}, {}, {}},
      {"a task removed: its item goes", {timed(u"A", 'd', at(2026, 1, 1, 8, 0)), timed(u"B", 'd', at(2026, 1, 1, 9, 0))},
       {timed(u"A", 'd', at(2026, 1, 1, 8, 0))}, {u"Corvell 2"}, {}},
      {"the job's name compares without case", {timed(u"Alpha", 'd', at(2026, 1, 1, 8, 0))},
       {timed(u"ALPHA", 'd', at(2026, 1, 1, 8, 0))}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeScheduler scheduler;
    Password password;
    (void)exportOnce(c.before, scheduler, password);
    // An item of another program stays whatever happens.
    scheduler.items[u"Other"] = WorkItem{u"Other", u"C:\\other.exe", u"x", {WorkTrigger{}}};
    scheduler.forget();
    const ExportReport r = exportOnce(c.after, scheduler, password);
    EXPECT_EQ(scheduler.removed, c.removed);
    EXPECT_EQ(scheduler.created, c.created);
    EXPECT_EQ(r.created, c.created.size());
    EXPECT_EQ(scheduler.items.count(u"Other"), 1u);
  }
}

// Each settings file owns the items named with its tag; with no timed task left an
// export removes its own items, and never another settings file's or program's.
TEST(TimedTaskExport, AnExportTouchesOnlyItsSettingsFilesItems) {
  struct Case {
    const char* what;
    std::u16string prefix;  // of the exporting settings file
    std::vector<Task> tasks;
    std::vector<std::u16string> removed, created;
  } cases[] = {
      {"no timed task left", u"Corvell ", {Task{u"S", 2, 's', 'o', 0, 0}}, {u"Corvell 1"}, {}},
      {"another settings file, no timed task", u"Corvell 0badcafe ", {}, {u"Corvell 0badcafe 1"}, {}},
      {"another settings file, a new task", u"Corvell 0badcafe ", {timed(u"B", 'd', at(2026, 1, 1, 9, 0))},
       {u"Corvell 0badcafe 1"}, {u"Corvell 0badcafe 1"}},
      {"the program's own file, a new task", u"Corvell ", {timed(u"B", 'd', at(2026, 1, 1, 9, 0))}, {u"Corvell 1"},
       {u"Corvell 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeScheduler scheduler;
    Password password;
    const WorkTrigger daily{1, 2026, 1, 1, 8, 30, 1, 0, 0};
    for (const char16_t* name : {u"Corvell 1", u"Corvell 0badcafe 1", u"Corvell 12345678 1", u"Corvell 1 old"}) {
      scheduler.items[name] = WorkItem{name, std::u16string(kProgram), u"A", {daily}};
    }
    scheduler.items[u"Corvell 2"] = WorkItem{u"Corvell 2", u"C:\\other.exe", u"x", {daily}};
    scheduler.prefix = c.prefix;
    const ExportReport r = exportOnce(c.tasks, scheduler, password);
    EXPECT_EQ(r.error, kSuccess);
    EXPECT_EQ(scheduler.removed, c.removed);
    EXPECT_EQ(scheduler.created, c.created);
    EXPECT_EQ(scheduler.items.size(), 5u - c.removed.size() + c.created.size());
  }
}

TEST(TimedTaskExport, PasswordsCancelledOrRefused) {
  // Cancelled: the clean-up happened, nothing was created.
  FakeScheduler scheduler;
  scheduler.items[u"Corvell 9"] = WorkItem{u"Corvell 9", std::u16string(kProgram), u"Old", {WorkTrigger{}}};
  Password cancel;
  cancel.cancel = true;
  ExportReport r = exportOnce({timed(u"A", 'd', at(2026, 1, 1, 8, 30))}, scheduler, cancel);
  EXPECT_TRUE(r.noPassword);
  EXPECT_TRUE(scheduler.created.empty());
  EXPECT_EQ(scheduler.removed, (std::vector<std::u16string>{u"Corvell 9"}));
  // Refused: the items are saved without the account and the password is forgotten.
  FakeScheduler refusing;
  refusing.refuseAccount = true;
  Password password;
  r = exportOnce({timed(u"A", 'd', at(2026, 1, 1, 8, 30)), timed(u"B", 'o', at(2026, 2, 1, 8, 30))}, refusing,
                 password);
  EXPECT_TRUE(r.accountRefused);
  EXPECT_EQ(r.created, 2u);
  EXPECT_GE(password.forgotten, 1);
  EXPECT_TRUE(password.remembered.empty());
  // A scheduler that cannot list changes nothing.
  FakeScheduler broken;
  broken.listResult = kErrorAccessDenied;
  r = exportOnce({timed(u"A", 'd', at(2026, 1, 1, 8, 30))}, broken, password);
  EXPECT_EQ(r.error, kErrorAccessDenied);
  EXPECT_TRUE(broken.created.empty());
}

TEST(TimedTaskExport, AKeptItemIsNeverLostToAPositionName) {
  FakeScheduler scheduler;
  Password password;
  const Task a = timed(u"A", 'd', at(2026, 1, 1, 8, 0));
  const Task b = timed(u"B", 'd', at(2026, 1, 1, 9, 0));
  (void)exportOnce({a, b}, scheduler, password);  // A is "Corvell 1", B "Corvell 2"
  scheduler.forget();
  // A new task goes first and A moves to the end: A's item stays "Corvell 1", so the new
  // task at position 1 takes the next free number above the list.
  const Task c = timed(u"C", 'o', at(2026, 3, 1, 7, 0));
  const ExportReport r = exportOnce({c, b, a}, scheduler, password);
  EXPECT_EQ(r.kept, 2u);
  EXPECT_TRUE(scheduler.removed.empty());
  EXPECT_EQ(scheduler.created, (std::vector<std::u16string>{u"Corvell 4"}));
  EXPECT_EQ(scheduler.items[u"Corvell 1"].parameters, timedTaskParameters(u"A", u""));
  EXPECT_EQ(scheduler.items[u"Corvell 4"].parameters, timedTaskParameters(u"C", u""));
}

// --- The account password: the process's remembered password ---

// A password dialog that answers from a script, one answer per opening.
struct ScriptedDialog {
  struct Answer {
    bool confirmed;
    std::u16string typed;
  };
  std::vector<Answer> answers;
  std::vector<std::u16string> titles;  // one per opening

  PasswordPrompt prompt() {
    PasswordPrompt p;
    p.context = this;
    p.ask = [](void* c, std::u16string_view title, std::u16string& typed) {
      auto* self = static_cast<ScriptedDialog*>(c);
      self->titles.emplace_back(title);
      const Answer answer = self->answers.at(self->titles.size() - 1);
      typed = answer.typed;
      return answer.confirmed;
    };
    return p;
  }
};

TEST(AccountPassword, AskedOnceSharedWithPluginsForgottenOnRefusal) {
  ScriptedDialog dialog{{{true, u"wrong"}, {true, u"right"}}, {}};
  AppState state;
  state.passwordRequests.remembered = &state.rememberedPassword;
  state.passwordRequests.prompt = dialog.prompt();
  const AccountPassword seam = accountPasswordOf(state);
  std::u16string got;
  for (int exportNumber = 0; exportNumber < 3; ++exportNumber) {
    ASSERT_TRUE(seam.obtain(seam.context, u"Password for: user", got));
    EXPECT_EQ(got, u"wrong");
  }
  EXPECT_EQ(dialog.titles, std::vector<std::u16string>{u"Password for: user"});
  // The plug-ins see the same password without asking.
  std::u16string shared;
  ASSERT_TRUE(state.rememberedPassword.get(shared));
  EXPECT_EQ(shared, u"wrong");
  seam.forget(seam.context);  // the scheduler refused the account
  ASSERT_TRUE(seam.obtain(seam.context, u"t", got));
  EXPECT_EQ(got, u"right");
  EXPECT_EQ(dialog.titles.size(), 2u);
}

TEST(AccountPassword, NothingWithoutAConfirmedNonEmptyPasswordAndLongInputCut) {
  const struct {
    const char* what;
    ScriptedDialog::Answer answer;
  } cases[] = {
      {"cancelled", {false, u"typed but cancelled"}},
      {"confirmed empty", {true, u""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedDialog dialog{{c.answer, {true, u"later"}}, {}};
    AppState state;
    state.passwordRequests.prompt = dialog.prompt();
    const AccountPassword seam = accountPasswordOf(state);
    std::u16string got = u"stale";
    EXPECT_FALSE(seam.obtain(seam.context, u"t", got));
    ASSERT_TRUE(seam.obtain(seam.context, u"t", got));  // nothing was remembered: asked again
    EXPECT_EQ(got, u"later");
    EXPECT_EQ(dialog.titles.size(), 2u);
  }
  const std::u16string typed(RememberedPassword::kMaxChars + 20, u'p');
  ScriptedDialog dialog{{{true, typed}}, {}};
  AppState state;
  state.passwordRequests.prompt = dialog.prompt();
  const AccountPassword seam = accountPasswordOf(state);
  std::u16string got;
  ASSERT_TRUE(seam.obtain(seam.context, u"t", got));
  EXPECT_EQ(got, typed.substr(0, RememberedPassword::kMaxChars));
}

// --- The system's scheduler and the session entry ---

class SystemIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // POSIX: units and the autostart entry go to the test's own configuration folder.
    if constexpr (!os::kWindows) config_.emplace(u"XDG_CONFIG_HOME", folder_.path("config"));
    folder_.write("settings.ini", "[CRVL]\r\n\r\n[Job]\r\n1=Daily job;d.job\r\n2=Weekly;w.job\r\n");
    settings_.openStore(folder_.path("settings.ini"), kStoreOwnFile);
  }
  void TearDown() override {
    // Whatever this test registered goes again (under Wine: the test prefix's scheduler).
    platform::SystemScheduler s;
    if (s.open() != kSuccess) return;
    std::vector<WorkItem> items;
    (void)s.list(platform::SystemScheduler::itemNamePrefix(u"Corvell", u""), items);
    for (const WorkItem& item : items) {
      if (platform::namesEqual(item.application, timedTaskProgram(settings_.path()))) (void)s.remove(item.name);
    }
    (void)platform::setStartupEntry(false, scheduledProgramPath(), tag(), u"", {});
  }
  std::u16string tag() { return settingsTag(settings_.path()); }
  std::string unit(int number, const char* suffix) {
    return platform::toUtf8(platform::SystemScheduler::itemName(u"Corvell", tag(), number)) + suffix;
  }
  void writeTasks(const std::vector<Task>& tasks) { ASSERT_EQ(saveTasks(tasks, settings_), kSuccess); }

  testing::TestFolder folder_;
  std::optional<testing::ScopedVariable> config_;
  ProfileStore settings_;
  Password password_;
};

TEST_F(SystemIntegrationTest, TimedTasksBecomeItemsOfTheSystemsScheduler) {
  writeTasks({Task{u"Daily job", 1, 't', 'd', at(2026, 1, 1, 8, 30), 0},
              Task{u"Weekly", 2, 't', 'w', at(2026, 1, 1, 18, 0), 34}});
  // Without systemctl (as in a container) the user is told how to enable the timers.
  std::optional<testing::ScopedVariable> noTools;
  if constexpr (!os::kWindows) noTools.emplace(u"PATH", folder_.path("no-tools"));
  const AccountPassword seam = password_.seam();
  std::u16string message;
  ExportReport r = exportTimedTasks(settings_, &seam, &message);
  ASSERT_EQ(r.error, kSuccess);
  EXPECT_EQ(r.created, 2u);
  if constexpr (!os::kWindows) {
    EXPECT_NE(message.find(platform::fromUtf8("systemctl --user enable --now " + unit(1, ".timer ") + unit(2, ".timer"))),
              std::u16string::npos);
  }
  platform::SystemScheduler s;
  ASSERT_EQ(s.open(), kSuccess);
  std::vector<WorkItem> items;
  ASSERT_EQ(s.list(platform::SystemScheduler::itemNamePrefix(u"Corvell", tag()), items), kSuccess);
  std::map<std::u16string, WorkItem> byName;
  for (const WorkItem& item : items) {
    // The test's settings file is not the program's own: on Windows its items start the
    // console program with it.
    if (platform::namesEqual(item.application, timedTaskProgram(settings_.path()))) byName[item.name] = item;
  }
  const std::u16string first = platform::SystemScheduler::itemName(u"Corvell", tag(), 1);
  const std::u16string second = platform::SystemScheduler::itemName(u"Corvell", tag(), 2);
  ASSERT_EQ(byName.size(), 2u);
  EXPECT_EQ(byName[first].parameters, timedTaskParameters(u"Daily job", settings_.path()));
  ASSERT_EQ(byName[second].triggers.size(), 1u);
  EXPECT_EQ(byName[second].triggers[0].weekdays, 34);
  EXPECT_EQ(byName[second].triggers[0].startHour, 18);
  if constexpr (os::kWindows) {
    EXPECT_TRUE(platform::pathExists(s.itemFolder() + u"\\" + first + u".job"));
    EXPECT_TRUE(byName[first].parameters.starts_with(u"--settings ")) << platform::toUtf8(byName[first].parameters);
  } else {
    EXPECT_EQ(folder_.read("config/systemd/user/" + unit(2, ".timer")),
              "[Unit]\nDescription=" + unit(2, "") + ": when the timed task runs\n\n[Timer]\nOnCalendar=Mon,Fri *-*-* 18:00:00\n"
              "Unit=" + unit(2, ".service") + "\n\n[Install]\nWantedBy=timers.target\n");
    EXPECT_EQ(folder_.read("config/systemd/user/" + unit(1, ".service")),
              "[Unit]\nDescription=" + unit(1, "") + ": a timed task of the synchronisation program\n\n[Service]\nType=oneshot\n"
              "ExecStart=\"" + platform::toUtf8(scheduledProgramPath()) + "\" --settings \"" +
              platform::toUtf8(settings_.path()) + "\" run \"Daily job\"\n");
  }
  // Read back through the same interface, the items match: a second export keeps both.
  r = exportTimedTasks(settings_, &seam, &message);
  EXPECT_EQ(r.kept, 2u);
  EXPECT_EQ(r.created, 0u);
  // Once the weekly task is gone, its item goes too.
  writeTasks({Task{u"Daily job", 1, 't', 'd', at(2026, 1, 1, 8, 30), 0}});
  r = exportTimedTasks(settings_, &seam, &message);
  EXPECT_EQ(r.deleted, 1u);
  if constexpr (!os::kWindows) {
    EXPECT_FALSE(folder_.exists("config/systemd/user/" + unit(2, ".timer")));
  }
}

TEST_F(SystemIntegrationTest, WrittenUnitsPassSystemdsCheck) {
  if constexpr (os::kWindows) GTEST_SKIP() << "systemd units are written on POSIX only";
  uint32_t status = 1;
  if (platform::runCommandLine(u"command -v systemd-analyze", folder_.path("which.txt"), &status) != kSuccess ||
      status != 0) {
    GTEST_SKIP() << "systemd-analyze is not installed";
  }
  writeTasks({Task{u"Daily job", 1, 't', 'o', at(2026, 12, 24, 18, 0), 0},
              Task{u"Weekly", 2, 't', 'w', at(2026, 1, 1, 18, 0), 127}});
  std::u16string message;
  ASSERT_EQ(exportTimedTasks(settings_, nullptr, &message).created, 2u);
  EXPECT_NE(folder_.read("config/systemd/user/" + unit(1, ".timer")).find("\nOnCalendar=2026-12-24 18:00:00\n"),
            std::string::npos);
  EXPECT_NE(folder_.read("config/systemd/user/" + unit(2, ".timer")).find("\nOnCalendar=Sun,Mon,Tue,Wed,Thu,Fri,Sat *-*-* 18:00:00\n"),
            std::string::npos);
  const std::u16string units = folder_.path("config/systemd/user");
  ASSERT_EQ(platform::runCommandLine(u"cd '" + units + u"' && systemd-analyze verify --man=no " +
                                         platform::fromUtf8(unit(1, ".timer ") + unit(1, ".service ") +
                                                            unit(2, ".timer ") + unit(2, ".service")),
                                     folder_.path("verify.txt"), &status),
            kSuccess);
  EXPECT_EQ(status, 0u) << folder_.read("verify.txt");
}

TEST_F(SystemIntegrationTest, TheSessionEntryIsMadeOnceAndRemoved) {
  std::u16string arguments;
  ASSERT_EQ(updateSessionStart(true, 20, settings_.path()), kSuccess);
  ASSERT_TRUE(platform::readStartupEntry(scheduledProgramPath(), tag(), &arguments));
  const std::u16string expected =
      os::kWindows ? u"Delay=20" : u"--settings " + settings_.path() + u" daemon --delay 20";
  EXPECT_EQ(arguments, expected);
  // An entry that exists is left as it is, even with another delay.
  ASSERT_EQ(updateSessionStart(true, 5, settings_.path()), kSuccess);
  ASSERT_TRUE(platform::readStartupEntry(scheduledProgramPath(), tag(), &arguments));
  EXPECT_EQ(arguments, expected);
  ASSERT_EQ(updateSessionStart(false, 5, settings_.path()), kSuccess);
  EXPECT_FALSE(platform::readStartupEntry(scheduledProgramPath(), tag(), &arguments));
  EXPECT_FALSE(platform::pathExists(platform::startupEntryPath(scheduledProgramPath(), tag())));
  // Without a delay there are no delay arguments.
  ASSERT_EQ(updateSessionStart(true, 0, settings_.path()), kSuccess);
  ASSERT_TRUE(platform::readStartupEntry(scheduledProgramPath(), tag(), &arguments));
  EXPECT_EQ(arguments, os::kWindows ? u"" : u"--settings " + settings_.path() + u" daemon");
}

TEST_F(SystemIntegrationTest, ExecLinesQuoteWhatTheDesktopRulesReserve) {
  if constexpr (os::kWindows) GTEST_SKIP() << "desktop entries are POSIX";
  ASSERT_EQ(platform::setStartupEntry(true, scheduledProgramPath(), u"", u"Corvell",
                                      {u"--settings", u"/a b/$x \"q\" 50% c\\d.ini", u"daemon"}),
            kSuccess);
  const std::string text =
      folder_.read("config/autostart/" + platform::toUtf8(platform::fileNameOf(scheduledProgramPath())) + ".desktop");
  EXPECT_NE(text.find(" --settings \"/a b/\\\\$x \\\\\"q\\\\\" 50%% c\\\\\\\\d.ini\" daemon\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nName=Corvell\n"), std::string::npos);
}

// The value of the first "key=" line of a unit or an entry.
std::string valueOf(const std::string& text, const std::string& key) {
  const size_t at = text.find("\n" + key + "=");
  if (at == std::string::npos) return {};
  const size_t start = at + key.size() + 2;
  return text.substr(start, text.find('\n', start) - start);
}

// The words of an ExecStart line as systemd reads them: quoted words with C escapes,
// "%%" for '%', and "$$" for '$' in the arguments (the program takes no variables).
std::vector<std::string> systemdWords(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    std::string word;
    const bool quoted = line[i] == '"';
    if (quoted) ++i;
    for (; i < line.size() && line[i] != (quoted ? '"' : ' '); ++i) {
      const char c = line[i];
      const char next = i + 1 < line.size() ? line[i + 1] : '\0';
      if ((c == '%' || (c == '$' && !words.empty())) && next == c) {
        word += c;
        ++i;
      } else if (c == '\\') {
        i += 1;
        const char e = line[i];
        if (e == 'x') {
          word += static_cast<char>(std::stoi(std::string(line.substr(i + 1, 2)), nullptr, 16));
          i += 2;
        } else {
          word += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
        }
      } else {
        word += c;
      }
    }
    if (quoted) ++i;
    words.push_back(word);
  }
  return words;
}

// The arguments of a desktop entry's Exec value: the string escapes first, then the
// quoting of arguments, then "%%".
std::vector<std::string> desktopWords(std::string_view value) {
  std::string line;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      line += value[i];
      continue;
    }
    const char e = value[++i];
    line += e == 's' ? ' ' : e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
  }
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    std::string word;
    const bool quoted = line[i] == '"';
    if (quoted) ++i;
    for (; i < line.size() && line[i] != (quoted ? '"' : ' '); ++i) {
      if (quoted && line[i] == '\\' && i + 1 < line.size()) ++i;
      if (line[i] == '%' && i + 1 < line.size() && line[i + 1] == '%') ++i;
      word += line[i];
    }
    if (quoted) ++i;
    words.push_back(word);
  }
  return words;
}

// Paths with line breaks, control characters, bytes that are not UTF-8 and the
// characters systemd and the desktop rules take for their own: the unit and the entry
// either give back the exact path as their readers read them, or are not written.
TEST_F(SystemIntegrationTest, UnitsAndEntriesHoldTheExactPathOrAreRefused) {
  if constexpr (os::kWindows) GTEST_SKIP() << "systemd units and desktop entries are POSIX";
  struct Case {
    std::u16string fragment;  // of the settings path and of the program's folder
    bool unitWritten, programWritten, entryWritten;
  } cases[] = {
      {u"line\nbreak", true, false, true},        {u"tab\tand\rcr", true, false, true},
      {u"100% $HOME \"q\" a\\b", true, false, true}, {u"100% $HOME", true, true, true},
      {u"ctl\x01x", true, false, false},          {u"byte\xDCE9", true, true, false},
      {u"lone\xD800", false, false, false},
  };
  platform::SystemScheduler scheduler;
  ASSERT_EQ(scheduler.open(), kSuccess);
  uint32_t status = 1;
  const bool verify = platform::runCommandLine(u"command -v systemd-analyze", folder_.path("which.txt"), &status) ==
                          kSuccess && status == 0;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.fragment));
    ++n;
    const std::u16string settings = folder_.path("s") + u"/" + c.fragment + u".ini";
    const std::u16string program = folder_.path("p") + u"/" + c.fragment + u"/crvl";
    const std::string programBytes = platform::toSystemBytes(program);
    std::filesystem::create_directories(std::filesystem::path(programBytes).parent_path());
    std::filesystem::create_symlink("/bin/true", programBytes);
    const std::u16string parameters = timedTaskParameters(u"Job", settings);
    EXPECT_EQ(!parameters.empty(), c.unitWritten);
    std::u16string word;
    EXPECT_EQ(platform::SystemScheduler::appendCommandWord(program, word, /*program=*/true), c.programWritten);
    if (!parameters.empty() && !c.programWritten) {
      WorkItem item{u"t-refused", program, parameters, {WorkTrigger{1, 2026, 1, 1, 8, 30, 1, 0, 0}}};
      EXPECT_EQ(scheduler.create(item, u"", u"", nullptr), kErrorInvalidName);
      EXPECT_FALSE(platform::pathExists(scheduler.itemFolder() + u"/t-refused.service"));
    }
    if (!parameters.empty()) {
      // A program path systemd refuses is tested above; the settings path still goes in.
      const std::u16string unitProgram = c.programWritten ? program : scheduledProgramPath();
      const std::string unitProgramBytes = platform::toSystemBytes(unitProgram);
      const std::u16string name = u"t-" + platform::fromUtf8(std::to_string(n));
      WorkItem item{name, unitProgram, parameters, {WorkTrigger{1, 2026, 1, 1, 8, 30, 1, 0, 0}}};
      ASSERT_EQ(scheduler.create(item, u"", u"", nullptr), kSuccess);
      const std::string unit = folder_.read("config/systemd/user/" + platform::toUtf8(name) + ".service");
      EXPECT_EQ(systemdWords(valueOf(unit, "ExecStart")),
                (std::vector<std::string>{unitProgramBytes, "--settings", platform::toSystemBytes(settings), "run", "Job"}))
          << unit;
      std::vector<WorkItem> listed;
      ASSERT_EQ(scheduler.list(name, listed), kSuccess);
      ASSERT_EQ(listed.size(), 1u);
      EXPECT_EQ(listed[0].application, unitProgram);  // read back as written: no rewrite next time
      EXPECT_EQ(listed[0].parameters, parameters);
      if (verify) {
        ASSERT_EQ(platform::runCommandLine(u"cd '" + scheduler.itemFolder() + u"' && systemd-analyze verify --man=no " +
                                               name + u".service",
                                           folder_.path("verify.txt"), &status),
                  kSuccess);
        EXPECT_EQ(status, 0u) << folder_.read("verify.txt");
      }
      (void)scheduler.remove(name);
    }
    const std::u16string tag = u"t" + platform::fromUtf8(std::to_string(n));
    const ErrorCode written = platform::setStartupEntry(true, program, tag, u"Corvell", {u"--settings", settings});
    EXPECT_EQ(written, c.entryWritten ? kSuccess : kErrorInvalidName);
    const std::u16string entry = platform::startupEntryPath(program, tag);
    EXPECT_EQ(platform::pathExists(entry), c.entryWritten);
    if (c.entryWritten) {
      std::string text;
      ASSERT_EQ(platform::readWholeFile(entry, text), kSuccess);
      EXPECT_EQ(desktopWords(valueOf(text, "Exec")),
                (std::vector<std::string>{programBytes, "--settings", platform::toSystemBytes(settings)}))
          << text;
      (void)platform::setStartupEntry(false, program, tag, u"", {});
    }
  }
}

}  // namespace
}  // namespace crvl
