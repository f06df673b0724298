// The scheduler's threads: one per start task and per availability task, one per start
// by name and per run started from the menu. Each runs detached and is counted in the
// state, so that quitAndWait can end them all before the state goes.
#include <thread>
#include <utility>

#include "jobs/job_register.h"
#include "platform/threads.h"
#include "plugins/plugin_callbacks.h"
#include "schedule/app_state.h"
#include "schedule/scheduler.h"
#include "schedule/scheduler_time.h"
#include "schedule/task.h"

namespace crvl {
namespace {

using scheduler_time::quitting;

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
    const bool reachable = jobIsAvailable(state_, std::u16string_view(task_.jobName));
    if (!passwordRefused_ && requests.refused()) {
      passwordRefused_ = true;
      startsAtRefusal_ = starts;
      const RunEvents& events = state_.runEvents;
      if (events.passwordRefused != nullptr) events.passwordRefused(events.context, task_.jobName);
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
  while (!quitting(state)) {
    if (const int32_t number = job.number(); number > 0) {
      // A job still running gets one short grace; the slot claim drops the run otherwise.
      if (jobIsRunning(state, number)) scheduler_time::sleep(state, kRunningJobWaitMs);
      if (quitting(state)) return;
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
  while (!quitting(state)) {
    platform::setThreadBackground(true);
    while (!job.available()) {
      if (quitting(state)) return;
      scheduler_time::sleep(state, kAvailabilityPollMs);
    }
    if (quitting(state)) return;
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
