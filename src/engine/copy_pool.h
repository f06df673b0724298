// Copies of small files between two local sides, carried out by worker threads while
// the run thread walks on through a folder's records. The reports keep the plan's
// order: the run thread reports a copy once it and every copy queued before it have
// finished, so the log and the console read the same whatever the number of workers.
//
// Hand-offs are few: a worker is woken only when one is idle, takes the next copy in the
// same hold of the lock that counts the last one done, and the run thread, when it must
// wait (a full window, the end of a folder), sleeps until many copies are done rather
// than one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/actions.h"
#include "engine/entry_list.h"
#include "engine/sync_run.h"

namespace crvl {

struct RunStatistics;

// The most workers a run copies with.
inline constexpr uint32_t kMaxCopyWorkers = 8;

// Files of this size and more are copied by the run thread itself, in their place in
// the order: their time goes into the data, not into the calls around it, and the
// console's progress line follows them.
inline constexpr uint64_t kPooledCopyLimit = uint64_t{1} << 20;

// The number of workers when the settings leave it open: one per core, at most
// kMaxCopyWorkers, at least 1.
[[nodiscard]] uint32_t defaultCopyWorkers() noexcept;

class CopyPool {
 public:
  // A pool of `workers` threads for the copies of `run`, started with the first queued
  // copy; with fewer than 2 workers every copy is carried out at once by the run thread,
  // as copyRecord does. Successful copies are counted in `statistics`.
  CopyPool(SyncRun& run, RunStatistics& statistics, uint32_t workers) noexcept;
  // Ends the workers at once. REQUIRES: drain() or abandon() since the last queue().
  ~CopyPool();
  CopyPool(const CopyPool&) = delete;
  CopyPool& operator=(const CopyPool&) = delete;

  // Whether the copy of a file with this source block goes to the workers: the run
  // executes, both sides are local, the file is smaller than kPooledCopyLimit and the
  // pool has workers.
  [[nodiscard]] bool takes(const EntryBlock& source) const noexcept;

  // Queues the copy of the record at `offset` (see copyRecord), first reporting the
  // copies at the head that have finished; while the window of queued copies is full,
  // waits for the oldest. `list` must stay unchanged until drain() or abandon(). A copy
  // the pool does not take is carried out and reported at once, after drain().
  void queue(const EntryList& list, uint32_t offset, CopyDirection direction, const EntryBlock& source);

  // Waits for every queued copy and reports each in order. A copy that no worker had
  // begun when the stop word was set is dropped without a report, as a record that a
  // stopped walk never reaches.
  void drain();

  // Waits for every queued copy without reporting any (the walk is leaving by an
  // exception). Copies not yet begun are dropped.
  void abandon() noexcept;

 private:
  struct Task {
    const EntryList* list = nullptr;
    uint32_t offset = 0;
    CopyDirection direction = CopyDirection::ToRight;
    uint64_t size = 0;
    StopWord stopWord = nullptr;
    CopyOutcome outcome;
    std::u16string errorText;
    bool dropped = false;
    // The worker's last touch of the task (release), after its outcome; the run thread
    // reads the outcome once it sees it (acquire).
    std::atomic<bool> finished{false};
  };

  static int32_t taskProgress(int32_t kind, const void* data, intptr_t reserved, void* context);
  void start() noexcept;
  void work() noexcept;
  void carryOut(Task& task) noexcept;
  [[nodiscard]] Task& slot(uint64_t index) noexcept { return window_[index % windowSize_]; }
  // Returns once the head task has finished; a sleep lasts until `enough` tasks (counted
  // from the first ever queued) are done, or the head is. REQUIRES: head_ != tail_.
  void awaitHead(uint64_t enough);
  // Reports the head task and frees its place. REQUIRES: the head has finished.
  void reportHead();
  // Reports the finished tasks at the head, waiting for all queued ones when `wait`.
  void reportFinished(bool wait);

  SyncRun& run_;
  RunStatistics& statistics_;
  uint32_t workers_;
  bool started_ = false;
  std::unique_ptr<Task[]> window_;
  size_t windowSize_ = 0;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable work_;      // a task was queued, or the pool ends
  std::condition_variable finished_;  // done_ reached wake_
  uint64_t head_ = 0;     // the run thread's: the next task to report
  uint64_t tail_ = 0;     // one past the last queued task: written by the run thread under mutex_
  uint64_t next_ = 0;     // guarded by mutex_: the next task to hand to a worker
  uint64_t done_ = 0;     // guarded by mutex_: tasks finished since the pool began
  uint64_t wake_ = 0;     // guarded by mutex_: the run thread sleeps until done_ reaches it; 0: awake
  uint32_t idle_ = 0;     // guarded by mutex_: workers waiting for a task
  bool quit_ = false;     // guarded by mutex_
  bool dropAll_ = false;  // guarded by mutex_: abandon() drops what has not begun
};

}  // namespace crvl
