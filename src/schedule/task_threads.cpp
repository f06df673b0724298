// The scheduler's threads: one per start task and per availability task, one per start
// by name and per run started from the menu. Each runs detached and is counted in the
// state, so that quitAndWait can end them all before the state goes.
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "jobs/job_register.h"
#include "platform/threads.h"
#include "plugins/plugin_callbacks.h"
#include "schedule/app_state.h"
#include "schedule/scheduler.h"
#include "schedule/scheduler_time.h"
#include "schedule/task.h"

namespace crvl {
namespace {

using scheduler_time::taskEnding;

constexpr uint32_t kTaskWaitStepMs = 250;
constexpr uint32_t kRunningJobWaitMs = 500;
constexpr uint32_t kAvailabilityPollMs = 1000;
constexpr uint32_t kRemovalWatchStepMs = 100;
constexpr uint32_t kRemovalWatchFirstPeriods = 150;  // 15 s before the first test
constexpr uint32_t kRemovalWatchPeriods = 100;       // then one test every 10 s

void threadEnded(AppState& state) noexcept {
  std::lock_guard<std::mutex> guard(state.threadLock);
  --state.liveThreads;
  state.threadsEnded.notify_all();
}

// Starts `body` on a counted, detached thread. Returns false when no thread could be
// made (the work is then dropped, as a due run of a busy job is).
template <typename Body>
bool startCounted(AppState& state, Body body) {
  {
    std::lock_guard<std::mutex> guard(state.threadLock);
    ++state.liveThreads;
  }
  try {
    std::thread([&state, body = std::move(body)]() mutable noexcept {
      try {
        Body work = std::move(body);  // gone before the thread is uncounted
        work();
      } catch (...) {
        // A failure inside one task never ends the program.
      }
      threadEnded(state);
    }).detach();
    return true;
  } catch (...) {
    threadEnded(state);
    return false;
  }
}

// The number a task's job has in the register now: tasks name their job, and the
// register may be edited while they wait. A job that is gone is told once (until it is
// there again) and gives 0.
class TaskJob {
 public:
  TaskJob(AppState& state, const Task& task) : state_(state), task_(task) {}

  [[nodiscard]] int32_t number() {
    const int found = findJobNumber(task_.jobName, scheduler_time::settingsOf(state_));
    if (found > 0) {
      missingTold_ = false;
      return found;
    }
    if (!missingTold_) {
      missingTold_ = true;
      const RunEvents& events = state_.runEvents;
      if (events.jobMissing != nullptr) events.jobMissing(events.context, task_.jobName);
    }
    return 0;
  }
  // Whether the job's folders can be reached. A password request that the user refused
  // during a test is not put again by later tests (the remembered password still
  // answers them) until the user starts a job; the refusal is told once.
  [[nodiscard]] bool available() {
    if (number() <= 0) return false;
    const uint32_t starts = state_.userStarts.load();
    if (passwordRefused_ && starts != startsAtRefusal_) passwordRefused_ = false;
    RequestScope requests(/*mayAsk=*/!passwordRefused_);
    const RunRequestScope asked(task_.jobName, /*sink=*/nullptr);  // for the refusal's reason
    const bool reachable = jobIsAvailable(state_, std::u16string_view(task_.jobName));
    if (!passwordRefused_ && requests.refused()) {
      passwordRefused_ = true;
      startsAtRefusal_ = starts;
      const RunEvents& events = state_.runEvents;
      if (events.passwordRefused != nullptr) {
        events.passwordRefused(events.context, task_.jobName, asked.lastRefusal(), asked.lastRefusalError());
      }
    }
    return reachable;
  }

 private:
  AppState& state_;
  const Task& task_;
  bool missingTold_ = false;
  bool passwordRefused_ = false;
  uint32_t startsAtRefusal_ = 0;
};

// The delay, then runs with the repeat measured from the end of each run, until the
// repeat is 0 or the program quits. A due run whose job is gone is left out.
void runTaskLoop(AppState& state, const Task& task, TaskJob& job) {
  if (task.delayOrStart != 0) {
    const uint64_t start = scheduler_time::now(state);
    if (!scheduler_time::waitUntil(state, scheduler_time::deadlineAfter(start, task.delayOrStart), kTaskWaitStepMs)) {
      return;
    }
  }
  while (!taskEnding(state)) {
    if (const int32_t number = job.number(); number > 0) {
      // A job still running gets one short grace; the slot claim drops the run otherwise.
      if (jobIsRunning(state, number)) scheduler_time::sleep(state, kRunningJobWaitMs);
      if (taskEnding(state)) return;
      RunRequest request;
      request.jobNumber = number;
      request.jobName = task.jobName;  // the register may change during the grace
      request.execute = true;
      (void)runJobWrapped(state, request);
    }
    if (task.repeatOrWeekdays == 0) return;
    const uint64_t ended = scheduler_time::now(state);
    if (!scheduler_time::waitUntil(state, scheduler_time::deadlineAfter(ended, task.repeatOrWeekdays),
                                   kTaskWaitStepMs)) {
      return;
    }
  }
}

void runTaskLoop(AppState& state, const Task& task) {
  TaskJob job(state, task);
  runTaskLoop(state, task, job);
}

// Waits at low priority for the job's folders, runs the task when they are there, then
// watches for their removal so that the next arrival runs the task again.
void runAvailabilityTask(AppState& state, const Task& task) {
  TaskJob job(state, task);
  while (!taskEnding(state)) {
    platform::setThreadBackground(true);
    while (!job.available()) {
      if (taskEnding(state)) return;
      scheduler_time::sleep(state, kAvailabilityPollMs);
    }
    if (taskEnding(state)) return;
    platform::setThreadBackground(false);
    runTaskLoop(state, task, job);
    platform::setThreadBackground(true);
    if (!scheduler_time::waitPeriods(state, kRemovalWatchFirstPeriods, kRemovalWatchStepMs)) return;
    while (job.available()) {
      if (!scheduler_time::waitPeriods(state, kRemovalWatchPeriods, kRemovalWatchStepMs)) return;
    }
  }
}

bool registerHasJob(ProfileStore& settings) {
  for (const RegisterRow& row : readRegister(settings)) {
    if (row.kind == RegisterKind::Job && !row.name.empty()) return true;
  }
  return false;
}

}  // namespace

void startScheduledTasks(AppState& state) {
  ProfileStore& settings = scheduler_time::settingsOf(state);
  for (Task& task : loadTasks(settings)) {
    if (task.kind == kStartAtProgramStart) {
      (void)startCounted(state, [&state, task = std::move(task)] { runTaskLoop(state, task); });
    } else if (task.kind == kStartWhenAvailable) {
      (void)startCounted(state, [&state, task = std::move(task)] { runAvailabilityTask(state, task); });
    }
    // Timed tasks belong to the system's scheduler.
  }
  if (!registerHasJob(settings) && state.notifications.post != nullptr) {
    state.notifications.post(state.notifications.context, kCommandConfigure);
  }
}

// One task of a TaskSchedule: the task as it was started and the flag that withdraws it.
// Shared with its thread, which may outlive the schedule's interest in it.
struct TaskSchedule::Scheduled {
  Task task;
  std::atomic<bool> withdrawn{false};
};

namespace {

// The fields that make two tasks the same task for an update; the job's number may
// change with the register and does not count.
bool sameTask(const Task& a, const Task& b) noexcept {
  return a.jobName == b.jobName && a.kind == b.kind && a.delayOrStart == b.delayOrStart &&
         a.repeatOrWeekdays == b.repeatOrWeekdays;
}

bool taskOrder(const Task& a, const Task& b) noexcept {
  if (a.jobName != b.jobName) return a.jobName < b.jobName;
  if (a.kind != b.kind) return a.kind < b.kind;
  if (a.delayOrStart != b.delayOrStart) return a.delayOrStart < b.delayOrStart;
  return a.repeatOrWeekdays < b.repeatOrWeekdays;
}

void withdraw(AppState& state, TaskSchedule::Scheduled& scheduled) {
  {
    // Under the lock the waits check their condition with, so no wait misses it.
    std::lock_guard<std::mutex> guard(state.threadLock);
    scheduled.withdrawn.store(true);
  }
  state.threadsEnded.notify_all();
}

}  // namespace

TaskSchedule::~TaskSchedule() {
  for (const auto& s : scheduled_) withdraw(state_, *s);
}

size_t TaskSchedule::update(bool* changed) {
  std::vector<Task> wanted;
  for (Task& task : loadTasks(scheduler_time::settingsOf(state_))) {
    if (task.kind == kStartAtProgramStart || task.kind == kStartWhenAvailable) wanted.push_back(std::move(task));
  }
  // Both lists in one order, then matched in one pass: the settings may hold many tasks.
  std::vector<size_t> order(wanted.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return taskOrder(wanted[a], wanted[b]); });
  std::stable_sort(scheduled_.begin(), scheduled_.end(),
                   [](const auto& a, const auto& b) { return taskOrder(a->task, b->task); });
  std::vector<std::shared_ptr<Scheduled>> kept;
  std::vector<bool> matched(wanted.size(), false);
  size_t s = 0;
  for (size_t w : order) {
    while (s < scheduled_.size() && taskOrder(scheduled_[s]->task, wanted[w])) withdraw(state_, *scheduled_[s++]);
    if (s < scheduled_.size() && sameTask(scheduled_[s]->task, wanted[w])) {
      kept.push_back(std::move(scheduled_[s++]));
      matched[w] = true;
    }
  }
  while (s < scheduled_.size()) withdraw(state_, *scheduled_[s++]);
  // New tasks start in the order of the list, as at the program's start.
  for (size_t w = 0; w < wanted.size(); ++w) {
    if (matched[w]) continue;
    auto entry = std::make_shared<Scheduled>();
    entry->task = std::move(wanted[w]);
    const bool available = entry->task.kind == kStartWhenAvailable;
    if (startCounted(state_, [&state = state_, entry, available] {
          scheduler_time::setThreadTaskWithdrawal(&entry->withdrawn);
          if (available) {
            runAvailabilityTask(state, entry->task);
          } else {
            runTaskLoop(state, entry->task);
          }
          scheduler_time::setThreadTaskWithdrawal(nullptr);
        })) {
      kept.push_back(std::move(entry));
    }
  }
  // Every old task either kept or withdrawn, every wanted one either matched or new.
  const size_t keptOld = static_cast<size_t>(std::count(matched.begin(), matched.end(), true));
  if (changed != nullptr) *changed = keptOld != scheduled_.size() || keptOld != wanted.size();
  scheduled_ = std::move(kept);
  if (!registerHasJob(scheduler_time::settingsOf(state_)) && state_.notifications.post != nullptr) {
    state_.notifications.post(state_.notifications.context, kCommandConfigure);
  }
  return scheduled_.size();
}

bool startJobByName(AppState& state, std::u16string_view name) {
  const int number = findJobNumber(name, scheduler_time::settingsOf(state));
  if (number <= 0) return false;
  Task task;
  task.jobName = std::u16string(name);
  task.jobNumber = number;
  task.kind = kStartAtProgramStart;
  ++state.userStarts;
  return startCounted(state, [&state, task = std::move(task)] { runTaskLoop(state, task); });
}

void startRunThread(AppState& state, int32_t jobNumber, bool execute) {
  ++state.userStarts;
  (void)startCounted(state, [&state, jobNumber, execute] { (void)runJobWrapped(state, jobNumber, execute); });
}

void requestQuit(AppState& state) noexcept {
  {
    std::lock_guard<std::mutex> guard(state.threadLock);
    state.quitRequested.store(1);
  }
  state.threadsEnded.notify_all();
}

void quitAndWait(AppState& state) noexcept {
  requestQuit(state);
  stopAll(state);
  std::unique_lock<std::mutex> guard(state.threadLock);
  state.threadsEnded.wait(guard, [&state] { return state.liveThreads == 0 && state.runsInProgress.load() == 0; });
}

}  // namespace crvl
