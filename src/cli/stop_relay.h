// Passes a Ctrl+C (or SIGTERM, SIGHUP) on to the scheduler. The console's stop handler
// may only set a word; a small thread watches that word and, once it is set, calls
// `onStop` on an ordinary thread, where locks and waits are allowed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace crvl::cli {

class StopRelay {
 public:
  // Installs the console's stop handler on `word` (a second stop ends the process with
  // `exitStatus`) and starts watching it.
  StopRelay(std::atomic<int32_t>& word, int exitStatus, std::function<void()> onStop);
  // Stops watching at once; `onStop` has run by then if the word was set.
  ~StopRelay();
  StopRelay(const StopRelay&) = delete;
  StopRelay& operator=(const StopRelay&) = delete;

 private:
  std::atomic<int32_t>& word_;
  std::function<void()> onStop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;  // guarded by mutex_
  std::thread watcher_;
};

}  // namespace crvl::cli
