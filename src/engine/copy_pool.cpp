// The copy pool: a window of queued copies, handed to the workers from the front and
// reported by the run thread from the front.
#include "engine/copy_pool.h"

#include <algorithm>

#include "engine/job_run.h"

namespace crvl {
namespace {

// Copies queued ahead of the oldest unreported one: enough to keep every worker busy
// behind a slow file, few enough that the window's paths stay a small fixed cost.
constexpr size_t kWindowPerWorker = 16;

// Reports of the run thread waiting behind one slow copy at most: past this the run
// thread waits for the copies, so that a long stretch of reports cannot pile up.
constexpr size_t kMostWaiting = 4096;

}  // namespace

uint32_t defaultCopyWorkers() noexcept {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp<uint32_t>(cores, 1, kMaxCopyWorkers);
}

CopyPool::CopyPool(SyncRun& run, RunStatistics& statistics, uint32_t workers) noexcept
    : run_(run), statistics_(statistics), workers_(std::min(workers, kMaxCopyWorkers)) {
  if (workers_ < 2) workers_ = 0;
}

CopyPool::~CopyPool() {
  if (run_.reportQueue == &hooks_) run_.reportQueue = outerHooks_;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    quit_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

bool CopyPool::takes(const EntryBlock& source) const noexcept {
  return workers_ != 0 && run_.execute != 0 && run_.left.kind == kProviderLocal &&
         run_.right.kind == kProviderLocal && source.size < kPooledCopyLimit;
}

void CopyPool::start() noexcept {
  started_ = true;
  try {
    const size_t size = size_t{workers_} * kWindowPerWorker;
    window_ = std::make_unique<Task[]>(size);
    windowSize_ = size;
    threads_.reserve(workers_);
    for (uint32_t i = 0; i < workers_; ++i) threads_.emplace_back([this] { work(); });
  } catch (...) {
    // No memory or no threads: the workers there are take the copies; with none the
    // run thread copies each file itself.
    workers_ = windowSize_ == 0 ? 0 : static_cast<uint32_t>(threads_.size());
  }
  if (workers_ != 0) {
    hooks_ = ReportQueue{this, &waitRecord, &waitFolderCreated};
    outerHooks_ = run_.reportQueue;
    run_.reportQueue = &hooks_;
  }
}

bool CopyPool::wait(Waiting&& entry) noexcept {
  entry.before = tail_;
  try {
    waiting_.push_back(std::move(entry));
  } catch (...) {
    // No room to wait: everything before it goes out first, and it is reported at once.
    drain();
    return false;
  }
  if (waiting_.size() >= kMostWaiting) drain();
  return true;
}

bool CopyPool::waitRecord(void* self, int32_t marker, LogText left, LogText right, std::u16string& state) noexcept {
  auto* pool = static_cast<CopyPool*>(self);
  if (pool->reporting_ || !pool->behind()) return false;
  Waiting entry;
  try {
    entry.marker = marker;
    entry.hasLeft = left.has_value();
    entry.hasRight = right.has_value();
    if (left) entry.left.assign(*left);
    if (right) entry.right.assign(*right);
  } catch (...) {
    pool->drain();
    return false;
  }
  entry.state = std::move(state);
  state.clear();
  return pool->wait(std::move(entry));
}

bool CopyPool::waitFolderCreated(void* self, std::u16string_view path) noexcept {
  auto* pool = static_cast<CopyPool*>(self);
  if (pool->reporting_ || !pool->behind()) return false;
  Waiting entry;
  entry.kind = Waiting::Kind::FolderCreated;
  try {
    entry.left.assign(path);
  } catch (...) {
    pool->drain();
    return false;
  }
  return pool->wait(std::move(entry));
}

void CopyPool::setFolderTimesAfterCopies(Side side, std::u16string_view path, const EntryBlock& source) {
  if (behind()) {
    Waiting entry;
    entry.kind = Waiting::Kind::FolderTimes;
    entry.side = side;
    entry.left.assign(path);
    entry.source = source;
    if (wait(std::move(entry))) return;
  }
  const std::u16string kept = std::move(run_.errorText);
  (void)copyFolderTimesAndAttributes(run_, side, path, source);
  run_.errorText = kept;
}

void CopyPool::releaseWaiting(uint64_t index, bool abandoning) noexcept {
  while (!waiting_.empty() && waiting_.front().before <= index) {
    Waiting& entry = waiting_.front();
    switch (entry.kind) {
      case Waiting::Kind::Record:
        writeLogRecord(run_.logSink, entry.marker, entry.hasLeft ? LogText(entry.left) : LogText(),
                       entry.hasRight ? LogText(entry.right) : LogText(), entry.state);
        break;
      case Waiting::Kind::FolderCreated:
        if (run_.folderCreated != nullptr) {
          try {
            run_.folderCreated(run_.copyProgressContext, entry.left);
          } catch (...) {
          }
        }
        break;
      case Waiting::Kind::FolderTimes:
        if (!abandoning && !stopRequested(run_)) {
          // Its failure is no report's: the text of the next action must not carry it.
          std::u16string kept;
          kept.swap(run_.errorText);
          try {
            (void)copyFolderTimesAndAttributes(run_, entry.side, entry.left, entry.source);
          } catch (...) {
          }
          run_.errorText.swap(kept);
        }
        break;
    }
    waiting_.pop_front();
  }
}

int32_t CopyPool::taskProgress(int32_t kind, const void* data, intptr_t, void* context) {
  auto* task = static_cast<Task*>(context);
  if (stopRequested(task->stopWord)) return 1;
  if (kind == kProgressText && data != nullptr) {
    const std::u16string_view text(static_cast<const char16_t*>(data));
    task->errorText.assign(text.substr(0, kErrorTextChars + 1));
  }
  return 0;
}

void CopyPool::carryOut(Task& task) noexcept {
  try {
    performCopy(run_, *task.list, task.offset, task.direction, &taskProgress, &task, task.outcome);
    (void)accountResult(task.errorText, task.outcome.result);
  } catch (...) {
    task.outcome.result = kErrorNotEnoughMemory;
    try {
      (void)accountResult(task.errorText, task.outcome.result);
    } catch (...) {
    }
  }
}

void CopyPool::work() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!quit_ && next_ == tail_) {
      ++idle_;
      work_.wait(lock, [this] { return quit_ || next_ < tail_; });
      --idle_;
    }
    if (quit_) return;
    const uint64_t index = next_++;
    Task& task = slot(index);
    // A copy not begun before a stop is never begun: the walk would not have reached it.
    const bool drop = dropAll_ || stopRequested(run_);
    lock.unlock();
    if (!drop) carryOut(task);
    task.dropped = drop;
    task.finished.store(true, std::memory_order_release);  // the task is the run thread's again
    lock.lock();
    ++done_;
    if (wake_ != 0 && done_ >= wake_) {
      wake_ = 0;
      finished_.notify_one();
    }
  }
}

void CopyPool::awaitHead(uint64_t enough) {
  const Task& head = slot(head_);
  if (head.finished.load(std::memory_order_acquire)) return;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!head.finished.load(std::memory_order_acquire)) {
    // Woken once `enough` are done; when the head is not among them, at the next one.
    // Both can be reached: the head is queued and not done, so done_ < tail_.
    wake_ = std::max(std::min(enough, tail_), done_ + 1);
    finished_.wait(lock, [this] { return wake_ == 0; });
  }
}

void CopyPool::reportHead() {
  Task& task = slot(head_);
  task.list.reset();
  if (!task.dropped) {
    run_.errorText = std::move(task.errorText);
    report(run_, task.outcome.marker, task.outcome.leftPath, task.outcome.rightPath);
    if (succeeded(task.outcome.result)) {
      ++statistics_.filesCopied;
      statistics_.bytesCopied += task.size;
    }
  }
  ++head_;
}

void CopyPool::reportFinished(bool wait) {
  if (reporting_) return;  // a waiting entry's own report, already in its turn
  reporting_ = true;
  for (;;) {
    releaseWaiting(head_, /*abandoning=*/false);
    if (head_ == tail_) break;
    if (!slot(head_).finished.load(std::memory_order_acquire)) {
      if (!wait) break;
      awaitHead(tail_);
    }
    reportHead();
  }
  reporting_ = false;
}

void CopyPool::queue(const std::shared_ptr<const EntryList>& list, uint32_t offset, CopyDirection direction,
                     const EntryBlock& source) {
  if (takes(source) && !started_) start();
  if (!takes(source)) {
    // Carried out here, in its place: the copies queued before it are reported first.
    drain();
    const ErrorCode r = copyRecord(run_, *list, offset, direction);
    if (succeeded(r)) {
      ++statistics_.filesCopied;
      statistics_.bytesCopied += source.size;
    }
    return;
  }
  reportFinished(/*wait=*/false);
  if (tail_ - head_ == windowSize_) {
    // The window is full: the oldest copies are reported before another is queued, the
    // run thread sleeping until half the window is done (one wake-up for many copies).
    awaitHead(head_ + windowSize_ / 2);
    reportFinished(/*wait=*/false);
  }
  // The place at the tail is no worker's until tail_ moves past it.
  Task& task = slot(tail_);
  task.list = list;
  task.offset = offset;
  task.direction = direction;
  task.size = source.size;
  task.stopWord = run_.scanner.stopWord;
  task.errorText.clear();
  task.dropped = false;
  task.finished.store(false, std::memory_order_relaxed);  // published by the lock below
  bool wakeOne = false;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    ++tail_;
    wakeOne = idle_ != 0;  // busy workers take it when their copy is done
  }
  if (wakeOne) work_.notify_one();
}

void CopyPool::drain() {
  if (workers_ != 0) reportFinished(/*wait=*/true);
}

void CopyPool::abandon() noexcept {
  if (workers_ == 0 || !behind()) return;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    dropAll_ = true;
  }
  reporting_ = true;
  while (head_ != tail_) {
    releaseWaiting(head_, /*abandoning=*/true);
    awaitHead(tail_);
    slot(head_).list.reset();
    ++head_;
  }
  releaseWaiting(head_, /*abandoning=*/true);
  reporting_ = false;
  std::lock_guard<std::mutex> guard(mutex_);
  dropAll_ = false;
}

}  // namespace crvl
