// A small pool of threads that make folder-pair scans ahead of their turn, so that the
// run's own thread finds a pair's listings ready when it comes to the pair. Tasks are
// taken in the order the run will need them (depth first), and a task nobody has
// started yet is made on the thread that asks for it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace crvl {

// One piece of work for the pool, owned by whoever submits it; it must stay where it
// is until ScanPool::finish has returned for it. `run` must not throw.
struct ScanTask {
  void (*run)(void* context) noexcept = nullptr;
  void* context = nullptr;
  // The place of the work in the run's depth-first order: the task whose key sorts
  // first is taken first.
  std::vector<uint32_t> key;

  enum class State : uint8_t { kIdle, kQueued, kRunning, kDone };
  // Changed under the pool's lock; read without it by a caller that waits briefly for a
  // task about to be done.
  std::atomic<State> state{State::kIdle};
};

class ScanPool {
 public:
  // `threads` counts the run's own thread: 0 or 1 starts no worker (every task is then
  // made by finish, on the caller's thread, in the caller's order). Threads that cannot
  // be made are done without.
  explicit ScanPool(uint32_t threads);
  // Ends the workers. REQUIRES: every submitted task has been finished.
  ~ScanPool();
  ScanPool(const ScanPool&) = delete;
  ScanPool& operator=(const ScanPool&) = delete;

  [[nodiscard]] bool hasWorkers() const noexcept { return !workers_.empty(); }
  // Queues `task` for a worker; without workers it waits for finish.
  void submit(ScanTask& task);
  // Returns once the task's work is done: taken out of the queue and made here when no
  // worker has started it, else waited for.
  void finish(ScanTask& task) noexcept;

 private:
  void work() noexcept;
  [[nodiscard]] ScanTask* takeFirst() noexcept;

  std::mutex lock_;
  std::condition_variable queued_;  // a task was queued, or the pool ends
  std::condition_variable done_;    // a task a worker made is done
  std::vector<ScanTask*> queue_;    // guarded by lock_; small (a window per level)
  std::atomic<uint32_t> queuedCount_{0};  // queue_.size(), set under lock_, read without it
  bool ending_ = false;             // guarded by lock_
  std::vector<std::thread> workers_;
};

}  // namespace crvl
