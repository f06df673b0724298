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
#include "jobs/profile_store.h"
#include "language/language_table.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/file_watch.h"
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

void passwordRefused(void*, std::u16string_view jobName, UiReply reply, ErrorCode error) {
  const std::u16string reason = reply == UiReply::kCancelled || reply == UiReply::kNotShown
                                    ? unansweredReason(reply, error)
                                    : std::u16string(u"the password was not given.");
  print(nowText() + u"  the password was refused: the availability task of " + std::u16string(jobName) +
        u" asks no more until a job is started (" + reason + u")\n");
}

void notified(void*, uint32_t command) {
  if (command == kCommandConfigure) print(u"The job register is empty: there is nothing to run.\n");
}

}  // namespace

// How often the daemon looks at the SIGHUP word between changes of the settings file; a
// stop and a change end the wait at once.
constexpr uint32_t kReloadCheckMs = 250;

std::u16string tasksText(size_t count) { return number(count) + (count == 1 ? u" task" : u" tasks"); }

int runDaemon(ProfileStore& settings, AppState& app, uint32_t delaySeconds) {
  app.runEvents.started = &runStarted;
  app.runEvents.ended = &runEnded;
  app.runEvents.jobMissing = &jobMissing;
  app.runEvents.passwordRefused = &passwordRefused;
  app.notifications.post = &notified;

  static std::atomic<int32_t> stopWord{0};
  static std::atomic<int32_t> reloadWord{0};
  const auto quitting = [&app] { return app.quitRequested.load() != 0; };
  platform::FileChangeWatch watch(settings.path());
  StopRelay relay(stopWord, kExitStopped, [&app, &watch] {
    requestQuit(app);  // the waits below and the tasks' waits end at once
    stopAll(app);
    watch.wake();
  });
  // After the stop handler: SIGHUP reads the settings again instead of stopping.
  platform::installReloadHandler(&reloadWord);
  // Ready before the start-up delay: a long delay must not run into systemd's start
  // timeout.
  platform::notifyServiceManager("READY=1");
  if (delaySeconds != 0) {
    // The start-up delay, which a stop ends at once.
    print(nowText() + u"  waiting " + number(delaySeconds) + u" s before the tasks start\n");
    std::unique_lock<std::mutex> guard(app.threadLock);
    app.threadsEnded.wait_for(guard, std::chrono::seconds(delaySeconds), quitting);
  }
  TaskSchedule schedule(app);
  size_t scheduled = quitting() ? 0 : schedule.update();
  print(nowText() + u"  daemon started with " + tasksText(scheduled) + u"\n");
  const std::u16string waitingText =
      u"No start or availability tasks in the settings: waiting for some (the daemon reads the settings again when "
      u"they change, and on SIGHUP).\n";
  if (scheduled == 0) print(waitingText);
  // Until a stop: the settings are read again when their file changes or on SIGHUP, and
  // the tasks follow them; tasks that stay as they were are not disturbed.
  bool pending = false;
  while (!quitting()) {
    if (watch.wait(kReloadCheckMs)) pending = true;
    if (reloadWord.exchange(0) != 0) pending = true;
    if (!pending || quitting()) continue;
    platform::notifyServiceManager("RELOADING=1");
    {
      const StoreUpdate update(settings);  // reads the file again under the settings lock
      if (update.status() != kSuccess) {
        platform::notifyServiceManager("READY=1");
        continue;  // another process holds the lock long: tried again at the next check
      }
    }
    pending = false;
    const size_t before = scheduled;
    bool changed = false;
    scheduled = schedule.update(&changed);
    // Runs and other programs write the settings too: only a change of the tasks is told.
    if (changed) print(nowText() + u"  the tasks changed: now " + tasksText(scheduled) + u"\n");
    if (scheduled == 0 && before != 0) print(waitingText);
    platform::notifyServiceManager("READY=1");
  }
  platform::notifyServiceManager("STOPPING=1");
  print(nowText() + u"  stopping: waiting for the runs to end\n");
  quitAndWait(app);
  print(nowText() + u"  daemon ended\n");
  return kExitOk;
}

}  // namespace crvl::cli
