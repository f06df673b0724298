// Copies of small files between two local sides, carried out by worker threads while
// the run thread walks on, through a folder's records and down into its sub-folders.
// The reports keep the plan's order: the run thread reports a copy once it and every
// copy queued before it have finished, and whatever else it reports meanwhile (a
// conflict, a folder made, a side that failed) waits in the same order behind the copies
// queued before it. So the log and the console read the same whatever the number of
// workers.
//
// Hand-offs are few: a worker is woken only when one is idle, takes the next copy in the
// same hold of the lock that counts the last one done, and the run thread, when it must
// wait (a full window, a deletion, the end of a pair), sleeps until many copies are done
// rather than one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
  // Ends the workers at once. REQUIRES: drain() or abandon() since the last queue() or
  // setFolderTimesAfterCopies().
  ~CopyPool();
  CopyPool(const CopyPool&) = delete;
  CopyPool& operator=(const CopyPool&) = delete;

  // Whether the copy of a file with this source block goes to the workers: the run
  // executes, both sides are local, the file is smaller than kPooledCopyLimit and the
  // pool has workers.
  [[nodiscard]] bool takes(const EntryBlock& source) const noexcept;

  // Queues the copy of the record at `offset` (see copyRecord), first reporting what has
  // finished at the head; while the window of queued copies is full, waits for the
  // oldest. The pool keeps `list` alive until the copy is reported; nobody may change
  // it meanwhile. A copy the pool does not take is carried out and reported at once,
  // after drain().
  void queue(const std::shared_ptr<const EntryList>& list, uint32_t offset, CopyDirection direction,
             const EntryBlock& source);

  // Sets a folder's times and attributes (copyFolderTimesAndAttributes) once every copy
  // queued so far has finished, in its place in the order: a file linked into the folder
  // after its times were set would change them again. Skipped when the run has been
  // stopped by then. Not reported, as copyFolderTimesAndAttributes is not.
  void setFolderTimesAfterCopies(Side side, std::u16string_view path, const EntryBlock& source);

  // Waits for every queued copy and reports everything in order. A copy that no worker
  // had begun when the stop word was set is dropped without a report, as a record that a
  // stopped walk never reaches; what the run thread did meanwhile is still reported.
  void drain();

  // Waits for every queued copy without reporting any (the walk is leaving by an
  // exception). Copies not yet begun are dropped; the run thread's own waiting reports
  // are written, since their actions were carried out, and waiting folder times are not
  // set.
  void abandon() noexcept;

 private:
  struct Task {
    std::shared_ptr<const EntryList> list;
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

  // A report of the run thread, or folder times to set, waiting behind the copies before it.
  struct Waiting {
    enum class Kind : uint8_t { Record, FolderCreated, FolderTimes };
    Kind kind = Kind::Record;
    uint64_t before = 0;  // the copies queued before it: its place in the order
    int32_t marker = 0;
    bool hasLeft = false;
    bool hasRight = false;
    Side side = Side::Left;
    std::u16string left;  // a record's left text; the folder of the other kinds
    std::u16string right;
    std::u16string state;
    EntryBlock source{};
  };

  static bool waitRecord(void* self, int32_t marker, LogText left, LogText right, std::u16string& state) noexcept;
  static bool waitFolderCreated(void* self, std::u16string_view path) noexcept;
  // Whether something queued is still unreported: a new report must wait behind it.
  [[nodiscard]] bool behind() const noexcept { return head_ != tail_ || !waiting_.empty(); }
  // Queues a waiting entry; false (nothing queued) without memory, after draining.
  [[nodiscard]] bool wait(Waiting&& entry) noexcept;
  // Writes or carries out the waiting entries queued before copy `index`.
  void releaseWaiting(uint64_t index, bool abandoning) noexcept;
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
  ReportQueue hooks_{};
  const ReportQueue* outerHooks_ = nullptr;  // the run's hooks before the pool set its own
  std::deque<Waiting> waiting_;              // the run thread's
  bool reporting_ = false;                   // the run thread's: reports go out now, in order
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
