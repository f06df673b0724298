#include "cli/daemon.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/cli_options.h"
#include "cli/console_io.h"
#include "cli/console_report.h"
#include "cli/stop_relay.h"
#include "jobs/job.h"
#include "language/language_table.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "schedule/scheduler.h"
#include "schedule/task.h"
#include "schedule/task_units.h"

namespace crvl::cli {
namespace {

std::u16string number(uint64_t value) { return decimal(value); }

std::u16string nowText() { return platform::formatLocalDateTime(platform::currentFileTime()); }

void runStarted(void*, const Job& job, bool execute) {
  print(nowText() + u"  " + (execute ? u"started " : u"simulating ") + job.jobName + u"\n");
}

void runEnded(void*, const Job& job, bool, const RunResult& result) {
  std::u16string line = nowText() + u"  " + (result.stopped ? u"stopped " : u"ended ") + job.jobName + u": " +
                        number(result.statistics.filesCopied) + u" files copied (" +
                        formatBytes(result.statistics.bytesCopied) + u"), " + number(result.failures) +
                        (result.failures == 1 ? u" error" : u" errors");
  if (result.logCreated) line += u", log " + result.logPath;
  print(line + u"\n");
}

void jobMissing(void*, std::u16string_view jobName) {
  print(nowText() + u"  a task's job is no longer in the register, the task does nothing: " + std::u16string(jobName) +
        u"\n");
}

void passwordRefused(void*, std::u16string_view jobName) {
  print(nowText() + u"  the password was refused: the availability task of " + std::u16string(jobName) +
        u" asks no more until a job is started\n");
}

void notified(void*, uint32_t command) {
  if (command == kCommandConfigure) print(u"The job register is empty: there is nothing to run.\n");
}

}  // namespace

int runDaemon(ProfileStore& settings, AppState& app, uint32_t delaySeconds) {
  size_t scheduled = 0;
  for (const Task& task : loadTasks(settings)) {
    if (task.kind == kStartAtProgramStart || task.kind == kStartWhenAvailable) ++scheduled;
  }
  if (scheduled == 0) {
    print(u"No start or availability tasks in the settings: nothing to do.\n");
    return kExitOk;
  }
  app.runEvents.started = &runStarted;
  app.runEvents.ended = &runEnded;
  app.runEvents.jobMissing = &jobMissing;
  app.runEvents.passwordRefused = &passwordRefused;
  app.notifications.post = &notified;

  static std::atomic<int32_t> stopWord{0};
  const auto quitting = [&app] { return app.quitRequested.load() != 0; };
  StopRelay relay(stopWord, kExitStopped, [&app] {
    requestQuit(app);  // the waits below and the tasks' waits end at once
    stopAll(app);
  });
  if (delaySeconds != 0) {
    // The start-up delay, which a stop ends at once.
    print(nowText() + u"  waiting " + number(delaySeconds) + u" s before the tasks start\n");
    std::unique_lock<std::mutex> guard(app.threadLock);
    app.threadsEnded.wait_for(guard, std::chrono::seconds(delaySeconds), quitting);
  }
  print(nowText() + u"  daemon started with " + number(scheduled) + (scheduled == 1 ? u" task\n" : u" tasks\n"));
  if (app.quitRequested.load() == 0) startScheduledTasks(app);
  {
    // Until a stop, or until the last task thread has ended (start tasks without a
    // repeat end after their run).
    std::unique_lock<std::mutex> guard(app.threadLock);
    app.threadsEnded.wait(guard, [&] { return quitting() || app.liveThreads == 0; });
  }
  const bool stopped = app.quitRequested.load() != 0;
  if (stopped) print(nowText() + u"  stopping: waiting for the runs to end\n");
  quitAndWait(app);
  print(nowText() + u"  daemon ended\n");
  return kExitOk;
}

}  // namespace crvl::cli
