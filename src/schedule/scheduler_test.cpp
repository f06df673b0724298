// The scheduler's threads and the run wrapper, on real folders, with a clock of the
// test's own: sleeping moves the clock on at once, so that an hour's wait takes
// milliseconds, and the test can hold the clock at a moment to change the world.
#include "schedule/scheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "os_traits.h"
#include "platform/file_lock.h"
#include "platform/test_folder.h"
#include "plugins/plugin_test_support.h"
#include "schedule/app_state.h"
#include "schedule/task.h"

namespace crvl {
namespace {

constexpr uint64_t kSecond = 10'000'000;
constexpr uint64_t kStart = 134000000000000000ull;  // a moment in 2025

// Time moves only when a thread sleeps. The test may hold it at a limit: a sleeper
// that would pass the limit waits there until the limit moves.
class FakeClock {
 public:
  SchedulerClock clock() { return SchedulerClock{this, &FakeClock::nowOf, &FakeClock::sleepOf}; }
  uint64_t now() {
    std::lock_guard<std::mutex> guard(mutex_);
    return now_;
  }
  // Lets time run to `seconds` after the start (never backwards).
  void holdAt(double seconds) {
    std::lock_guard<std::mutex> guard(mutex_);
    limit_ = kStart + static_cast<uint64_t>(seconds * kSecond);
    moved_.notify_all();
  }
  void release() { holdAt(1e12); }
  void advance(uint64_t ticks) {
    std::lock_guard<std::mutex> guard(mutex_);
    now_ += ticks;
    moved_.notify_all();
  }
  // Waits (bounded) until `count` sleepers are held at the current limit, and no sleeper
  // that the last move of the limit lets go is still on its way.
  bool waitHeld(int count = 1) {
    std::unique_lock<std::mutex> guard(mutex_);
    return moved_.wait_for(guard, std::chrono::seconds(30), [&] {
      return static_cast<int>(held_.size()) >= count && *held_.begin() > limit_;
    });
  }
  double seconds() { return static_cast<double>(now() - kStart) / kSecond; }

 private:
  static uint64_t nowOf(void* self) { return static_cast<FakeClock*>(self)->now(); }
  static void sleepOf(void* self, uint32_t ms) {
    auto* c = static_cast<FakeClock*>(self);
    std::unique_lock<std::mutex> guard(c->mutex_);
    const uint64_t target = c->now_ + uint64_t{ms} * 10'000;
    if (target > c->limit_) {
      const auto entry = c->held_.insert(target);
      c->moved_.notify_all();
      c->moved_.wait(guard, [&] { return target <= c->limit_; });
      c->held_.erase(entry);
    }
    if (target > c->now_) c->now_ = target;
    c->moved_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable moved_;
  uint64_t now_ = kStart;
  uint64_t limit_ = UINT64_MAX;
  std::multiset<uint64_t> held_;  // the targets of the sleepers held at the limit
};

// Waits in real time (bounded) for a condition that another thread makes true.
template <typename Condition>
bool eventually(Condition condition, int seconds = 30) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

struct RunRecord {
  std::u16string job;
  double at;  // seconds after the start, by the fake clock
};

// A medium that the test plugs in and pulls out: the right folder of job A is bound to
// volume serial abcd, which answers only while the medium is "present".
struct Medium {
  std::atomic<bool> present{false};
  VolumeQueries queries() {
    VolumeQueries q;
    q.context = this;
    q.volumeSerial = [](void* c, std::u16string_view) -> uint32_t {
      return static_cast<Medium*>(c)->present.load() ? 0xABCDu : 0x1234u;
    };
    q.presentDrives = [](void*) -> uint32_t { return 0; };
    q.driveClass = [](void*, char16_t) { return platform::DriveClass::Fixed; };
    q.findMountWithSerial = [](void*, uint32_t, std::u16string*) { return false; };
    q.ejectDrive = [](void*, char16_t) {};
    return q;
  }
};

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The job locks of the runs go to the test's own per-user folder (POSIX), never into
    // the real user's configuration.
    if constexpr (!os::kWindows) config_.emplace(u"XDG_CONFIG_HOME", folder_.path("config"));
    for (const char* name : {"A", "B"}) {
      folder_.write(std::string(name) + "/L/file.txt", name);
      folder_.makeFolder(std::string(name) + "/R");
      writeJob(name, "+" + narrow(folder_.path(std::string(name) + "/L")) + ";" +
                         narrow(folder_.path(std::string(name) + "/R")));
    }
    writeJob("Empty", "");
    settingsText_ = "[CRVL]\r\nOpt=4\r\n\r\n[Job]\r\n1=A;" + narrow(folder_.path("A.job")) + "\r\n2=B;" +
                    narrow(folder_.path("B.job")) + "\r\n3=Empty;" + narrow(folder_.path("Empty.job")) + "\r\n";
    state_.providers.initialize(u"File System Plugins");
    state_.clock = clock_.clock();
    state_.settings = &settings_;
    state_.runEvents.context = this;
    state_.runEvents.started = [](void* self, const Job& job, bool) {
      auto* t = static_cast<SchedulerTest*>(self);
      {
        std::lock_guard<std::mutex> guard(t->mutex_);
        t->runs_.push_back({job.jobName, t->clock_.seconds()});
      }
      if (t->onStart_) t->onStart_(job);
    };
    state_.runEvents.jobMissing = [](void* self, std::u16string_view) {
      ++static_cast<SchedulerTest*>(self)->missingTold_;
    };
    state_.runEvents.passwordRefused = [](void* self, std::u16string_view, UiReply, ErrorCode) {
      ++static_cast<SchedulerTest*>(self)->refusalsTold_;
    };
    state_.notifications.context = this;
    state_.notifications.post = [](void* self, uint32_t command) {
      auto* t = static_cast<SchedulerTest*>(self);
      std::lock_guard<std::mutex> guard(t->mutex_);
      t->posted_.push_back(command);
    };
  }
  void TearDown() override {
    clock_.release();
    quitAndWait(state_);
    setPasswordRequests(nullptr);
  }

  static std::string narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }
  void writeJob(const std::string& name, const std::string& folderLine) {
    folder_.write(name + ".job", "[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n" +
                                     (folderLine.empty() ? std::string() : "1=" + folderLine + "\r\n"));
  }
  // Opens the settings with these task values.
  void openWithTasks(const std::vector<std::string>& tasks) {
    std::string text = settingsText_ + "\r\n[Task]\r\n";
    for (size_t i = 0; i < tasks.size(); ++i) text += std::to_string(i + 1) + "=" + tasks[i] + "\r\n";
    folder_.write("settings.ini", text);
    settings_.openStore(folder_.path("settings.ini"), kStoreOwnFile);
  }
  std::vector<RunRecord> runs() {
    std::lock_guard<std::mutex> guard(mutex_);
    return runs_;
  }
  size_t postedCount() {
    std::lock_guard<std::mutex> guard(mutex_);
    return posted_.size();
  }
  bool threadsEnded() {
    std::lock_guard<std::mutex> guard(state_.threadLock);
    return state_.liveThreads == 0;
  }

  testing::TestFolder folder_;
  std::optional<testing::ScopedVariable> config_;
  std::string settingsText_;
  ProfileStore settings_;
  FakeClock clock_;
  AppState state_;
  std::mutex mutex_;
  std::vector<RunRecord> runs_;
  std::vector<uint32_t> posted_;
  std::function<void(const Job&)> onStart_;
  std::atomic<int> missingTold_{0};
  std::atomic<int> refusalsTold_{0};
  // The threads that read it end in TearDown, before any member goes.
  Medium medium_;
  VolumeQueries mediumQueries_ = medium_.queries();
};

TEST_F(SchedulerTest, AStartTaskWithADelayRunsOnceWhenTheDelayIsOver) {
  openWithTasks({"A;so;d60"});
  startScheduledTasks(state_);
  ASSERT_TRUE(eventually([&] { return threadsEnded(); }));
  const auto r = runs();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_GE(r[0].at, 60.0);
  EXPECT_LE(r[0].at, 60.25);
  EXPECT_EQ(folder_.read("A/R/file.txt"), "A");
  // The run was announced when it began and when it ended.
  EXPECT_EQ(postedCount(), 2u);
}

TEST_F(SchedulerTest, TheRepeatIsMeasuredFromTheEndOfEachRun) {
  openWithTasks({"A;so;r3600"});
  onStart_ = [&](const Job&) {
    clock_.advance(100 * kSecond);  // every run takes 100 s
    if (runs().size() == 3) state_.quitRequested.store(1);
  };
  startScheduledTasks(state_);
  ASSERT_TRUE(eventually([&] { return threadsEnded(); })) << runs().size() << " runs, at " << clock_.seconds();
  const auto r = runs();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].at, 0.0);
  for (size_t i = 1; i < r.size(); ++i) {
    const double gap = r[i].at - r[i - 1].at;
    EXPECT_GE(gap, 3700.0) << i;
    EXPECT_LE(gap, 3700.25) << i;
  }
}

TEST_F(SchedulerTest, TwoTasksOfOneJobDueTogetherGiveOneRun) {
  openWithTasks({"A;so;d10", "a;ao;d10", "A;so;d10"});
  // The first run holds its slot until both other attempts have come and gone: each
  // attempt announces itself twice, the run once so far.
  onStart_ = [&](const Job&) { (void)eventually([&] { return postedCount() >= 5; }); };
  startScheduledTasks(state_);
  ASSERT_TRUE(eventually([&] { return runs().size() == 1 && postedCount() >= 6; }));
  clock_.holdAt(30);  // the availability task must not come round again in this test
  ASSERT_TRUE(clock_.waitHeld());
  EXPECT_EQ(runs().size(), 1u);
}

TEST_F(SchedulerTest, ARunWaitsWhileADialogIsOpen) {
  openWithTasks({});
  state_.busyCount.store(1);
  startRunThread(state_, 1, /*execute=*/true);
  ASSERT_TRUE(eventually([&] { return state_.runsInProgress.load() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(runs().empty());
  EXPECT_GT(clock_.seconds(), 0.0);  // it is polling
  state_.busyCount.store(0);
  ASSERT_TRUE(eventually([&] { return threadsEnded(); }));
  EXPECT_EQ(runs().size(), 1u);
  EXPECT_EQ(state_.runsInProgress.load(), 0);
}

TEST_F(SchedulerTest, QuittingDuringADelayEndsTheThreadWithinOneStepWithoutARun) {
  openWithTasks({"A;so;d3600", "B;ao;d3600"});
  clock_.holdAt(100);
  startScheduledTasks(state_);
  ASSERT_TRUE(clock_.waitHeld(2));
  state_.quitRequested.store(1);
  clock_.release();
  quitAndWait(state_);
  EXPECT_TRUE(runs().empty());
  EXPECT_LE(clock_.seconds(), 100.5);  // two threads, one step of at most 250 ms each
}

TEST_F(SchedulerTest, AnUpdateKeepsUnchangedTasksEndsRemovedOnesAndStartsNewOnes) {
  // A runs at once and is done; B waits an hour. Only one thread at a time sleeps on the
  // test's clock, so the times are exact.
  openWithTasks({"A;so", "B;so;d3600"});
  clock_.holdAt(100);
  TaskSchedule schedule(state_);
  bool changed = false;
  ASSERT_EQ(schedule.update(&changed), 2u);
  EXPECT_TRUE(changed);
  ASSERT_TRUE(eventually([&] { return runs().size() == 1; }));
  ASSERT_TRUE(clock_.waitHeld(1));
  // Another process changes B's delay: the old B ends, a new B starts from now; A, which
  // stayed as it was, does not run again.
  folder_.write("settings.ini", settingsText_ + "\r\n[Task]\r\n1=A;so\r\n2=B;so;d10\r\n");
  { const StoreUpdate reread(settings_); }
  ASSERT_EQ(schedule.update(&changed), 2u);
  EXPECT_TRUE(changed);
  ASSERT_EQ(schedule.update(&changed), 2u);
  EXPECT_FALSE(changed) << "the same tasks again change nothing";
  ASSERT_TRUE(clock_.waitHeld(2));  // the old B (withdrawn: it ends at its next look) and the new B
  clock_.release();
  ASSERT_TRUE(eventually([&] { return threadsEnded(); }));
  const auto r = runs();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].job, u"A");
  EXPECT_EQ(r[1].job, u"B");
  EXPECT_GE(r[1].at, 109.5);
  EXPECT_LE(r[1].at, 110.75);
}

TEST_F(SchedulerTest, AnAvailabilityTaskRunsOnArrivalNotWhileItStaysAndAgainAfterRemoval) {
  writeJob("A", "+" + narrow(folder_.path("A/L")) + ";|abcd|" + narrow(folder_.path("A/R")));
  openWithTasks({"A;ao"});
  Medium& medium = medium_;
  state_.volumes = &mediumQueries_;
  clock_.holdAt(5);
  startScheduledTasks(state_);
  ASSERT_TRUE(clock_.waitHeld());
  EXPECT_TRUE(runs().empty());

  medium.present.store(true);
  const double arrived = clock_.seconds();
  clock_.holdAt(arrived + 1.5);
  ASSERT_TRUE(eventually([&] { return runs().size() == 1; }));
  ASSERT_TRUE(clock_.waitHeld());  // the run has ended
  EXPECT_LE(runs()[0].at - arrived, 1.0);
  EXPECT_EQ(folder_.read("A/R/file.txt"), "A");

  clock_.holdAt(arrived + 120);  // it stays: no second run
  ASSERT_TRUE(clock_.waitHeld());
  EXPECT_EQ(runs().size(), 1u);

  medium.present.store(false);  // pulled out for more than one test period
  clock_.holdAt(arrived + 135);
  ASSERT_TRUE(clock_.waitHeld());
  EXPECT_EQ(runs().size(), 1u);

  medium.present.store(true);  // and plugged in again
  const double again = clock_.seconds();
  clock_.holdAt(again + 1.5);
  ASSERT_TRUE(eventually([&] { return runs().size() == 2; }));
  EXPECT_LE(runs()[1].at - again, 1.0);
}

TEST_F(SchedulerTest, AvailabilityNeedsEveryPairAndAtLeastOne) {
  openWithTasks({});
  state_.volumes = &mediumQueries_;
  const std::string l = narrow(folder_.path("A/L"));
  const std::string r = narrow(folder_.path("A/R"));
  // A mount table that names the right folder as the mount point of a medium.
  folder_.write("fstab", "# test table\nUUID=1234-ABCD " + r + " vfat noauto 0 0\nnone swap swap sw 0 0\n");
  struct Case {
    const char* what;
    std::string folders;  // the [Folder] lines of job A
    const char* option;   // the job's option tokens
    bool available;
    bool posixOnly;       // where reachability means the folder itself
    bool mountTable = false;
  } cases[] = {
      {"no pairs", "", "+>", false, false},
      {"one pair, both folders there", "1=+" + l + ";" + r + "\r\n", "+>", true, false},
      {"a pair without ';' is skipped", "1=+" + l + "\r\n", "+>", false, false},
      {"excluded pairs do not count", "1=-" + l + ";" + r + "\r\n", "+>", false, false},
      {"a medium that is absent", "1=+" + l + ";|abcd|" + r + "\r\n", "+>", false, false},
      {"a second pair whose folder is missing", "1=+" + l + ";" + r + "\r\n2=+" + l + ";" + r + "/none\r\n", "<+",
       false, true},
      {"a file in place of the folder", "1=+" + l + "/file.txt;" + r + "\r\n", "+>", false, true},
      {"a target the first run creates", "1=+" + l + ";" + r + "/new\r\n", "+>", true, false},
      {"a target whose parent is missing too", "1=+" + l + ";" + r + "/none/new\r\n", "+>", false, false},
      {"a target on a mount point with nothing mounted", "1=+" + l + ";" + r + "/new\r\n", "+>", false, true,
       true},
      {"a source on a mount point with nothing mounted", "1=+" + r + ";" + l + "\r\n", "+>", false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.posixOnly && os::kDrivePaths) continue;
    testing::ScopedVariable table(u"CRVL_FSTAB", c.mountTable ? std::optional(folder_.path("fstab"))
                                                              : std::optional(folder_.path("no-such-table")));
    folder_.write("A.job", std::string("[CRVL]\r\nOption=0;") + c.option + "\r\n\r\n[Folder]\r\n" + c.folders);
    EXPECT_EQ(jobIsAvailable(state_, 1), c.available);
  }
  EXPECT_FALSE(jobIsAvailable(state_, 9));  // no such job
}

TEST_F(SchedulerTest, SlotsKeepOneRunPerJobAndRunOutSilently) {
  openWithTasks({});
  state_.runSlots[3].jobNumber.store(1);  // job A is running
  EXPECT_TRUE(jobIsRunning(state_, 1));
  EXPECT_EQ(runJobWrapped(state_, 1, true), RunOutcome::kAlreadyRunning);
  for (RunSlot& slot : state_.runSlots) slot.jobNumber.store(slot.jobNumber.load() == 0 ? 500 : 1);
  EXPECT_EQ(runJobWrapped(state_, 2, true), RunOutcome::kNoFreeSlot);
  EXPECT_TRUE(runs().empty());
  for (RunSlot& slot : state_.runSlots) slot.jobNumber.store(0);
  EXPECT_EQ(runJobWrapped(state_, 7, true), RunOutcome::kNotLoaded);  // no such job
  EXPECT_EQ(runJobWrapped(state_, 2, false), RunOutcome::kRan);
  EXPECT_FALSE(jobIsRunning(state_, 2));                              // released again
  EXPECT_FALSE(folder_.exists("B/R/file.txt"));                       // a simulation
  // Every call was counted and uncounted, with two notices each.
  EXPECT_EQ(state_.runsInProgress.load(), 0);
  EXPECT_EQ(postedCount(), 8u);
}

TEST_F(SchedulerTest, AJobRunningInAnotherProgramIsNotRunAgain) {
  openWithTasks({});
  Job job;
  job.jobName = u"A";
  job.jobFilePath = folder_.path("A.job");
  platform::FileLock other;
  ASSERT_EQ(other.tryLock(jobLockPath(job, settings_)), kSuccess);
  EXPECT_EQ(runJobWrapped(state_, 1, true), RunOutcome::kAlreadyRunning);
  EXPECT_FALSE(folder_.exists("A/R/file.txt"));
  other.unlock();
  EXPECT_EQ(runJobWrapped(state_, 1, true), RunOutcome::kRan);
  EXPECT_EQ(folder_.read("A/R/file.txt"), "A");
  // Jobs kept in the settings file itself are told apart by name.
  Job inSettings = job;
  inSettings.jobFilePath = settings_.path();
  Job twin = inSettings;
  twin.jobName = u"B";
  EXPECT_NE(jobLockPath(inSettings, settings_), jobLockPath(twin, settings_));
  EXPECT_NE(jobLockPath(job, settings_), jobLockPath(inSettings, settings_));
}

// The lock belongs to the job file, however its path is spelt.
TEST_F(SchedulerTest, EverySpellingOfOneJobFileMeetsOneLock) {
  openWithTasks({});
  ASSERT_TRUE(folder_.exists("A.job"));
  folder_.makeFolder("sub");
  folder_.write("B.job", "[CRVL]\r\n");
  const std::u16string sep(1, os::kSeparator);
  std::vector<std::u16string> spellings = {folder_.path("sub") + sep + u".." + sep + u"A.job",
                                           folder_.path() + sep + sep + u"A.job",
                                           folder_.path() + sep + u"." + sep + u"A.job"};
  if constexpr (os::kWindows) {
    spellings.push_back(folder_.path("a.JOB"));
  } else {
    std::filesystem::create_directory_symlink(folder_.root(), folder_.root() / "link");
    spellings.push_back(folder_.path("link/A.job"));
  }
  Job job;
  job.jobName = u"A";
  job.jobFilePath = folder_.path("A.job");
  const std::u16string lock = jobLockPath(job, settings_);
  for (const std::u16string& spelling : spellings) {
    Job other = job;
    other.jobFilePath = spelling;
    EXPECT_EQ(jobLockPath(other, settings_), lock) << platform::toUtf8(spelling);
  }
  Job b = job;
  b.jobFilePath = folder_.path("B.job");
  EXPECT_NE(jobLockPath(b, settings_), lock);
}

TEST_F(SchedulerTest, StartsByNameAndTheEmptyRegister) {
  openWithTasks({});
  EXPECT_FALSE(startJobByName(state_, u"Nobody"));
  EXPECT_TRUE(startJobByName(state_, u"b"));
  ASSERT_TRUE(eventually([&] { return threadsEnded(); }));
  ASSERT_EQ(runs().size(), 1u);
  EXPECT_EQ(runs()[0].job, u"B");
  EXPECT_EQ(folder_.read("B/R/file.txt"), "B");
  // A register with no job asks for the configuration.
  folder_.write("groups-only.ini", "[Job]\r\n1=-Group\r\n2=-\r\n");
  settings_.openStore(folder_.path("groups-only.ini"), kStoreOwnFile);
  const size_t before = postedCount();
  startScheduledTasks(state_);
  ASSERT_EQ(postedCount(), before + 1);
  std::lock_guard<std::mutex> guard(mutex_);
  EXPECT_EQ(posted_.back(), kCommandConfigure);
}

}  // namespace
}  // namespace crvl

namespace crvl {
namespace {

// The register is edited (the tray program's dialog) while tasks wait: each task goes on
// with the job of its name, and a task whose job is gone runs nothing.
TEST_F(SchedulerTest, TasksFollowTheirJobByNameWhenTheRegisterIsEdited) {
  struct Case {
    const char* what;
    const char* task;
    std::vector<std::u16string> registerAfter;  // the names left, in their new order
    std::vector<std::u16string> runsExpected;
    int missingExpected;
  };
  const Case cases[] = {
      // B cannot be reached; after the swap its old number is A's, which can.
      {"availability", "B;ao", {u"Empty", u"A", u"B"}, {}, 0},
      {"reordered", "A;so;r30", {u"B", u"A", u"Empty"}, {u"A", u"A", u"A", u"A"}, 0},
      {"removed", "A;so;r30", {u"B", u"Empty"}, {u"A"}, 1},
  };
  // B's right folder is bound to a medium that is not there.
  writeJob("B", "+" + narrow(folder_.path("B/L")) + ";|abcd|" + narrow(folder_.path("B/R")));
  state_.volumes = &mediumQueries_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    openWithTasks({c.task});
    settings_.reloadStore();  // the file as written, not the store of the case before
    const double base = clock_.seconds();
    clock_.holdAt(base + 0.5);
    startScheduledTasks(state_);
    ASSERT_TRUE(clock_.waitHeld());
    std::vector<RegisterRow> rows;
    for (const std::u16string& name : c.registerAfter) {
      for (const RegisterRow& row : readRegister(settings_)) {
        if (row.name == name) rows.push_back(row);
      }
    }
    ASSERT_EQ(writeRegister(rows, settings_), kSuccess);
    clock_.holdAt(base + 100);
    ASSERT_TRUE(clock_.waitHeld());
    std::vector<std::u16string> ran;
    for (const RunRecord& r : runs()) ran.push_back(r.job);
    EXPECT_EQ(ran, c.runsExpected);
    EXPECT_EQ(missingTold_.load(), c.missingExpected);
    // The next case starts afresh.
    clock_.release();
    quitAndWait(state_);
    state_.quitRequested.store(0);
    std::lock_guard<std::mutex> guard(mutex_);
    runs_.clear();
    missingTold_.store(0);
  }
}

TEST_F(SchedulerTest, AnAvailabilityTaskAsksForARefusedPasswordOnceUntilTheUserStartsAJob) {
  testing::TestModules modules(folder_);
  modules.configure("crvltest_both", "password=secret");
  writeJob("A", "+" + narrow(testing::pluginPath(u"Remote")) + ";" + narrow(folder_.path("A/R")));
  openWithTasks({"A;ao"});
  (void)writePluginEntries(settings_, {{true, u"Remote", testing::testModule("crvltest_both.wfx64"), u""}});
  testing::CountingPrompt prompt;
  prompt.cancel = true;
  attachPluginBinding(state_, settings_, PasswordPrompt{&prompt, &testing::CountingPrompt::ask});

  clock_.holdAt(30);  // thirty tests of the job's folders
  startScheduledTasks(state_);
  ASSERT_TRUE(clock_.waitHeld());
  EXPECT_EQ(prompt.asked, 1);
  EXPECT_EQ(refusalsTold_.load(), 1);
  EXPECT_TRUE(runs().empty());

  // The user starts the job and refuses again: its run asks, then the task once more.
  startRunThread(state_, 1, /*execute=*/true);
  ASSERT_TRUE(eventually([&] { return runs().size() == 1; }));
  clock_.holdAt(60);
  ASSERT_TRUE(clock_.waitHeld());
  ASSERT_TRUE(eventually([&] { return state_.runsInProgress.load() == 0; }));
  EXPECT_EQ(prompt.asked, 3);
  EXPECT_EQ(refusalsTold_.load(), 2);
  clock_.release();
  quitAndWait(state_);
}

}  // namespace
}  // namespace crvl
