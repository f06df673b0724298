// The run wrapper and the running-job table: every run of a job, whether started from
// the menu, by a task, by name or from the console, goes through runJobWrapped.
#include <cstdio>
#include <string>
#include <vector>

#include "jobs/job.h"
#include "jobs/job_register.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "os_traits.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/listings.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "schedule/app_state.h"
#include "schedule/scheduler.h"
#include "schedule/scheduler_time.h"

namespace crvl {
namespace {

using scheduler_time::quitting;
using scheduler_time::settingsOf;

// The slot number of a job given by its file rather than by its register number.
constexpr int32_t kFileJobNumber = -1;
constexpr uint32_t kBusyPollMs = 100;

void notify(AppState& state, uint32_t command) noexcept {
  const NotificationSink& sink = state.notifications;
  if (sink.post != nullptr) sink.post(sink.context, command);
}

// A claimed run slot, released when the claim goes.
class SlotClaim {
 public:
  SlotClaim(AppState& state, int32_t jobNumber) : state_(state) {
    std::lock_guard<std::mutex> guard(state.slotLock);
    for (const RunSlot& slot : state.runSlots) {
      if (slot.jobNumber.load() == jobNumber) {
        outcome_ = RunOutcome::kAlreadyRunning;
        return;
      }
    }
    for (size_t i = 0; i < state.runSlots.size(); ++i) {
      RunSlot& slot = state.runSlots[i];
      if (slot.jobNumber.load() != 0) continue;
      slot.jobNumber.store(jobNumber);
      // A quit that began before the claim stops the run at its first check.
      slot.control.store(quitting(state) ? kStopAll : kRunOn);
      index_ = static_cast<int>(i);
      outcome_ = RunOutcome::kRan;
      return;
    }
    outcome_ = RunOutcome::kNoFreeSlot;
  }
  ~SlotClaim() {
    if (index_ < 0) return;
    std::lock_guard<std::mutex> guard(state_.slotLock);
    state_.runSlots[static_cast<size_t>(index_)].jobNumber.store(0);
  }
  SlotClaim(const SlotClaim&) = delete;
  SlotClaim& operator=(const SlotClaim&) = delete;

  [[nodiscard]] bool claimed() const noexcept { return index_ >= 0; }
  [[nodiscard]] RunOutcome failure() const noexcept { return outcome_; }
  [[nodiscard]] RunSlot& slot() const noexcept { return state_.runSlots[static_cast<size_t>(index_)]; }

 private:
  AppState& state_;
  int index_ = -1;
  RunOutcome outcome_ = RunOutcome::kNoFreeSlot;
};

// Counts the run from its start to its end, and tells the user interface both times.
class RunCount {
 public:
  explicit RunCount(AppState& state) : state_(state) {
    state.runsInProgress.fetch_add(1);
    notify(state, kCommandRunsChanged);
  }
  ~RunCount() {
    {
      // Under the thread lock, so that quitAndWait cannot miss the last run ending.
      std::lock_guard<std::mutex> guard(state_.threadLock);
      state_.runsInProgress.fetch_sub(1);
      state_.threadsEnded.notify_all();
    }
    notify(state_, kCommandRunsChanged);
  }
  RunCount(const RunCount&) = delete;
  RunCount& operator=(const RunCount&) = delete;

 private:
  AppState& state_;
};

// Loads the job of a request; false when it cannot be loaded.
bool loadRequestedJob(const RunRequest& request, ProfileStore& settings, Job& job) {
  if (request.job != nullptr) {
    job = *request.job;
    return true;
  }
  if (request.jobNumber <= 0) return false;
  if (readRegisterEntry(request.jobNumber, job, settings) != kSuccess) return false;
  if (!request.jobName.empty() && !platform::namesEqual(job.jobName, request.jobName)) return false;
  return loadJob(job, settings) == kSuccess;
}

RunOutcome runClaimed(AppState& state, const RunRequest& request, RunSlot& slot) {
  ProfileStore& settings = settingsOf(state);
  Job job;
  if (!loadRequestedJob(request, settings, job)) return RunOutcome::kNotLoaded;
  platform::FileLock lock;
  // A lock file that cannot be made (a read-only home) does not keep the job from
  // running; only another holder does.
  if (lock.tryLock(jobLockPath(job, settings)) == kErrorLockViolation) return RunOutcome::kAlreadyRunning;
  const RunEvents& events = state.runEvents;
  if (events.started != nullptr) events.started(events.context, job, request.execute);
  static const RunObserver kNoObserver;
  const RunResult result =
      runJobWithLog(job, settings, state.providers, request.execute, &slot.control,
                    request.observer != nullptr ? *request.observer : kNoObserver, state.volumes, state.enlargement);
  if (events.ended != nullptr) events.ended(events.context, job, request.execute, result);
  if (request.result != nullptr) *request.result = result;
  return RunOutcome::kRan;
}

}  // namespace

std::u16string jobLockPath(const Job& job, ProfileStore& settings) {
  // The job file names the job; jobs kept in the settings file itself add their name.
  std::u16string identity = job.jobFilePath;
  const std::u16string settingsPath = settings.path();
  if (identity.empty() || platform::sameFolderPath(identity, settingsPath)) {
    identity = settingsPath + u'\n' + job.jobName;
  }
  // The file itself, not its spelling: a relative path, "./", "//", a link to its
  // folder or a different case all reach one file and so one lock.
  uint64_t volume = 0, fileId = 0;
  const std::u16string file = identity == job.jobFilePath ? expandPath(job.jobFilePath) : settingsPath;
  if (!file.empty() && platform::fileIdentity(file, &volume, &fileId) == kSuccess) {
    char text[48];
    std::snprintf(text, sizeof text, "%016llx:%016llx", static_cast<unsigned long long>(volume),
                  static_cast<unsigned long long>(fileId));
    identity = identity == job.jobFilePath ? platform::fromUtf8(text)
                                            : platform::fromUtf8(text) + u'\n' + job.jobName;
  }
  std::u16string key;
  if constexpr (os::kWindows) {
    platform::appendFoldKey(identity, key);  // one lock whatever the case of the path
  } else {
    key = identity;
  }
  uint64_t hash = 14695981039346656037ull;  // FNV-1a over the code units
  for (const char16_t c : key) {
    hash = (hash ^ (c & 0xFFu)) * 1099511628211ull;
    hash = (hash ^ (c >> 8)) * 1099511628211ull;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.lock", static_cast<unsigned long long>(hash));
  std::u16string path = defaultSettingsFolder(u"Locks");
  platform::appendPathComponent(path, platform::fromUtf8(name));
  return path;
}

size_t removeFreeJobLocks() {
  const std::u16string folder = defaultSettingsFolder(u"Locks");
  std::vector<std::u16string> names;
  if (platform::listFileNames(folder, names) != kSuccess) return 0;
  size_t removed = 0;
  for (const std::u16string& name : names) {
    // Only the names this program gives: sixteen hex digits and ".lock".
    if (name.size() != 21 || !name.ends_with(u".lock") ||
        name.find_first_not_of(u"0123456789abcdef") != 16) {
      continue;
    }
    std::u16string path = folder;
    platform::appendPathComponent(path, name);
    if (platform::FileLock::removeIfFree(path)) ++removed;
  }
  return removed;
}

RunOutcome runJobWrapped(AppState& state, const RunRequest& request) noexcept {
  RunOutcome outcome = RunOutcome::kQuit;
  try {
    RunCount count(state);
    while (state.busyCount.load() != 0 && !quitting(state)) scheduler_time::sleep(state, kBusyPollMs);
    if (quitting(state)) return RunOutcome::kQuit;
    const int32_t number = request.job != nullptr && request.jobNumber <= 0 ? kFileJobNumber : request.jobNumber;
    SlotClaim claim(state, number);
    if (!claim.claimed()) return claim.failure();
    outcome = runClaimed(state, request, claim.slot());
  } catch (...) {
    // Out of memory around the run: the counters and the slot are restored above.
  }
  return outcome;
}

RunOutcome runJobWrapped(AppState& state, int32_t jobNumber, bool execute) noexcept {
  RunRequest request;
  request.jobNumber = jobNumber;
  request.execute = execute;
  return runJobWrapped(state, request);
}

void stopJob(AppState& state, int32_t jobNumber) noexcept {
  if (jobNumber == 0) return;
  for (RunSlot& slot : state.runSlots) {
    if (slot.jobNumber.load() == jobNumber) slot.control.store(kStopThisJob);
  }
}

void stopAll(AppState& state) noexcept {
  // Under the slot lock, so that a slot claimed at this moment sees either the quit or
  // this stop.
  std::lock_guard<std::mutex> guard(state.slotLock);
  for (RunSlot& slot : state.runSlots) slot.control.store(kStopAll);
}

bool jobIsRunning(const AppState& state, int32_t jobNumber) noexcept {
  if (jobNumber == 0) return false;
  for (const RunSlot& slot : state.runSlots) {
    if (slot.jobNumber.load() == jobNumber) return true;
  }
  return false;
}

}  // namespace crvl
