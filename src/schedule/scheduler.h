// The scheduler: the run wrapper every run goes through, the table of running jobs and
// its stop requests, the threads of start and availability tasks, starts by name, and
// the availability test of a job. All of it works on the scheduling fields of an
// AppState; the shell and the console differ only in the notification sink they set.
//
// Threads: every function here may be called from any thread. Threads started here
// run detached but are counted; quitAndWait ends them all before the state goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "schedule/job_runner.h"

namespace crvl {

struct AppState;
struct Job;
class ProfileStore;

// Commands posted to the notification sink.
inline constexpr uint32_t kCommandRunsChanged = 300;  // a run began or ended
inline constexpr uint32_t kCommandConfigure = 118;    // the job register is empty

// Control words of a run slot.
inline constexpr int32_t kRunOn = 0;
inline constexpr int32_t kStopThisJob = 1;
inline constexpr int32_t kStopAll = 2;

// Starts one thread per valid start task ('s') and per availability task ('a') of the
// task list in the settings, in list order; posts kCommandConfigure when the job
// register has no job. Called once per shell cycle (and by `crvl daemon`).
void startScheduledTasks(AppState& state);

// The start and availability tasks of a process that reads its settings again while it
// runs (the console's daemon), each on a thread of its own as startScheduledTasks
// starts them. Used from one thread.
class TaskSchedule {
 public:
  explicit TaskSchedule(AppState& state) noexcept : state_(state) {}
  // Withdraws the tasks still scheduled (their threads end at their next wait).
  ~TaskSchedule();
  TaskSchedule(const TaskSchedule&) = delete;
  TaskSchedule& operator=(const TaskSchedule&) = delete;

  // Brings the threads in line with the valid start and availability tasks of the
  // settings as they are now. A task that is still there (the same job name, kind,
  // delay and repeat) goes on undisturbed: its delay is not waited again and it does not
  // run again for the update. The thread of a task that is gone ends at its next wait
  // (a run in progress finishes first); new tasks start. Returns how many tasks are
  // scheduled now; `*changed` (when given) tells whether a task started or ended.
  [[nodiscard]] size_t update(bool* changed = nullptr);

  struct Scheduled;  // one task and its withdrawal flag, shared with its thread

 private:
  AppState& state_;
  std::vector<std::shared_ptr<Scheduled>> scheduled_;
};

// Starts the job of that name (case-insensitive register lookup) on a thread of its
// own, once, without delay; an unknown name does nothing. Returns whether it started.
bool startJobByName(AppState& state, std::u16string_view name);

// Starts the run wrapper for `jobNumber` on a new thread: a run when `execute`, a
// simulation otherwise ("&Start now", "Si&mulate...").
void startRunThread(AppState& state, int32_t jobNumber, bool execute);

// What became of one call of the run wrapper.
enum class RunOutcome {
  kRan,             // the job was loaded and run (its own failures are in its log)
  kNotLoaded,       // the job could not be loaded
  kAlreadyRunning,  // the job holds a slot in this process, or another process runs it
  kNoFreeSlot,      // all 100 slots are taken
  kQuit,            // the program is closing
};

// One call of the run wrapper.
struct RunRequest {
  int32_t jobNumber = 0;     // the job's number in the register (0 with a job given by file)
  // When not empty, the register entry under jobNumber must carry this name (case-
  // insensitive), or nothing runs (kNotLoaded): a task looked the number up just before,
  // and the register may have been edited since.
  std::u16string_view jobName;
  const Job* job = nullptr;  // a job loaded already (the console's job files); null: load by number
  bool execute = false;      // a run; a simulation otherwise
  const RunObserver* observer = nullptr;  // live reports (the console), or null
  RunResult* result = nullptr;            // receives the run's result when it ran, or null
};

// The run wrapper, on the calling thread: counts the run and notifies, waits while a
// dialog is open (busyCount), claims a slot and the job's lock across processes, loads
// the job, opens its log unless logs are off, runs it watching the slot's control word,
// closes the log, ejects marked media after a real run, releases lock and slot,
// uncounts the run and notifies. Never throws.
RunOutcome runJobWrapped(AppState& state, const RunRequest& request) noexcept;
RunOutcome runJobWrapped(AppState& state, int32_t jobNumber, bool execute) noexcept;

// The file whose lock keeps `job` from running in two processes at once: one per job
// file (and per job name for jobs kept in the settings file itself), in the per-user
// data folder.
[[nodiscard]] std::u16string jobLockPath(const Job& job, ProfileStore& settings);

// Removes the lock files of jobLockPath whose lock no one holds (POSIX; one is left
// behind per job file ever run). Returns how many went.
size_t removeFreeJobLocks();

// Asks the run of `jobNumber` to stop (control 1), when it holds a slot.
void stopJob(AppState& state, int32_t jobNumber) noexcept;
// Asks every run to stop (control 2 in all slots).
void stopAll(AppState& state) noexcept;
// Whether `jobNumber` holds a run slot now.
[[nodiscard]] bool jobIsRunning(const AppState& state, int32_t jobNumber) noexcept;

// Whether every folder pair of the job can be reached now (and it has at least one).
[[nodiscard]] bool jobIsAvailable(AppState& state, int32_t jobNumber);
// The same for the job of that name, looked up in the register now; false when the
// register holds no such job.
[[nodiscard]] bool jobIsAvailable(AppState& state, std::u16string_view jobName);

// Sets quitRequested and wakes every wait of the scheduler's threads (delays, repeats,
// availability tests, the wait for a dialog), so that each ends at once. Runs are not
// asked to stop (stopAll). Safe to call from any thread, more than once.
void requestQuit(AppState& state) noexcept;

// Sets quitRequested (requestQuit), asks every run to stop, and waits until no run is
// in progress and every thread started here has ended. Safe to call twice.
void quitAndWait(AppState& state) noexcept;

}  // namespace crvl
