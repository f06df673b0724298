#include "engine/scan_pool.h"

#include <algorithm>

namespace crvl {
namespace {
constexpr int kSpinLooks = 200;
// A worker whose look found nothing looks half as long the next time, and one that found
// its next task looks longer again: while the run is busy elsewhere (copying files) the
// workers sleep at once instead of spending a look per folder on system calls.
constexpr int kRegainedLooks = 8;
}  // namespace

ScanPool::ScanPool(uint32_t threads) {
  for (uint32_t i = 1; i < threads; ++i) {
    try {
      workers_.emplace_back([this] { work(); });
    } catch (...) {
      break;  // fewer workers; the caller's thread makes what they do not
    }
  }
}

ScanPool::~ScanPool() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    ending_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ScanPool::submit(ScanTask& task) {
  std::lock_guard<std::mutex> guard(lock_);
  task.state = ScanTask::State::kQueued;
  if (workers_.empty()) return;  // made by finish
  queue_.push_back(&task);
  queuedCount_.store(static_cast<uint32_t>(queue_.size()), std::memory_order_relaxed);
  queued_.notify_one();
}

ScanTask* ScanPool::takeFirst() noexcept {
  if (queue_.empty()) return nullptr;
  auto first = std::min_element(queue_.begin(), queue_.end(),
                                [](const ScanTask* a, const ScanTask* b) { return a->key < b->key; });
  ScanTask* task = *first;
  queue_.erase(first);
  queuedCount_.store(static_cast<uint32_t>(queue_.size()), std::memory_order_relaxed);
  task->state = ScanTask::State::kRunning;
  return task;
}

void ScanPool::finish(ScanTask& task) noexcept {
  std::unique_lock<std::mutex> guard(lock_);
  if (task.state == ScanTask::State::kQueued || task.state == ScanTask::State::kIdle) {
    // Nobody has started it: made here, now.
    queue_.erase(std::remove(queue_.begin(), queue_.end(), &task), queue_.end());
    queuedCount_.store(static_cast<uint32_t>(queue_.size()), std::memory_order_relaxed);
    task.state = ScanTask::State::kRunning;
    guard.unlock();
    task.run(task.context);
    guard.lock();
    task.state = ScanTask::State::kDone;
    return;
  }
  // A worker is making it. Meanwhile this thread makes the queued tasks that come first,
  // so that no core waits while there is work: with one worker the run's own thread
  // would otherwise only watch it.
  while (task.state != ScanTask::State::kDone) {
    ScanTask* other = takeFirst();
    if (other == nullptr) break;
    guard.unlock();
    other->run(other->context);
    guard.lock();
    other->state = ScanTask::State::kDone;
    done_.notify_all();
  }
  if (task.state == ScanTask::State::kDone) return;
  // A task a worker is making is usually done within microseconds of being asked for:
  // a short look without the lock saves the two thread switches of a wait.
  guard.unlock();
  for (int spin = 0; spin < kSpinLooks; ++spin) {
    if (task.state.load(std::memory_order_acquire) == ScanTask::State::kDone) {
      guard.lock();  // the worker's last touch of the task is under the lock
      return;
    }
    std::this_thread::yield();
  }
  guard.lock();
  done_.wait(guard, [&task] { return task.state == ScanTask::State::kDone; });
}

void ScanPool::work() noexcept {
  std::unique_lock<std::mutex> guard(lock_);
  int looks = kSpinLooks;
  for (;;) {
    if (queue_.empty() && !ending_) {
      // The run submits the next pair soon after taking one: a short look before the
      // wait spares a thread switch per folder.
      guard.unlock();
      int spin = 0;
      while (spin < looks && queuedCount_.load(std::memory_order_relaxed) == 0) {
        std::this_thread::yield();
        ++spin;
      }
      const bool found = queuedCount_.load(std::memory_order_relaxed) != 0;
      looks = found ? std::min(kSpinLooks, 2 * looks + kRegainedLooks) : looks / 2;
      guard.lock();
    }
    queued_.wait(guard, [this] { return ending_ || !queue_.empty(); });
    if (ending_) return;
    ScanTask* task = takeFirst();
    guard.unlock();
    task->run(task->context);
    guard.lock();
    task->state = ScanTask::State::kDone;
    done_.notify_all();
  }
}

}  // namespace crvl
