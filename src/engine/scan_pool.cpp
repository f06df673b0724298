#include "engine/scan_pool.h"

#include <algorithm>

namespace crvl {

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
  queued_.notify_one();
}

ScanTask* ScanPool::takeFirst() noexcept {
  if (queue_.empty()) return nullptr;
  auto first = std::min_element(queue_.begin(), queue_.end(),
                                [](const ScanTask* a, const ScanTask* b) { return a->key < b->key; });
  ScanTask* task = *first;
  queue_.erase(first);
  task->state = ScanTask::State::kRunning;
  return task;
}

void ScanPool::finish(ScanTask& task) noexcept {
  std::unique_lock<std::mutex> guard(lock_);
  if (task.state == ScanTask::State::kQueued || task.state == ScanTask::State::kIdle) {
    // Nobody has started it: made here, now.
    queue_.erase(std::remove(queue_.begin(), queue_.end(), &task), queue_.end());
    task.state = ScanTask::State::kRunning;
    guard.unlock();
    task.run(task.context);
    guard.lock();
    task.state = ScanTask::State::kDone;
    return;
  }
  done_.wait(guard, [&task] { return task.state == ScanTask::State::kDone; });
}

void ScanPool::work() noexcept {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
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
