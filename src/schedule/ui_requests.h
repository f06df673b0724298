// Questions that threads other than the user-interface thread put to the user. Such a
// thread never holds a pointer to a window or to data of the user-interface thread:
// it puts an owned request (its own reply slot) into the queue, the queue wakes the
// user-interface thread, and the asker waits for the reply without holding a lock.
// While the program ends or restarts the queue is closed: every open request and every
// later one is answered "cancelled" at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/log_sink.h"
#include "platform/errors.h"
#include "plugins/remembered_password.h"

namespace crvl {

enum class UiReply : uint8_t {
  kPending,    // not answered yet
  kGiven,      // the user gave a text
  kDeclined,   // the user cancelled the question
  kCancelled,  // the program is ending or restarting: nobody was asked
  kNotShown,   // the question could not be shown (reason: the request's error)
};

// One password question and its reply slot. The asker and the user-interface thread
// share it; the queue's lock guards the reply fields.
struct PasswordRequest {
  std::u16string title;  // what asks (the module's title, the account)
  std::u16string typed;  // the reply text when kGiven
  UiReply reply = UiReply::kPending;
  ErrorCode error = kSuccess;  // kNotShown: the system's reason
  ~PasswordRequest() { wipeText(typed); }
};

class UiRequestQueue {
 public:
  // Wakes the user-interface thread (posts it a message): 0, or the reason it could
  // not. `onUiThread`: the asker is the user-interface thread itself, which must take
  // the request before the call returns (or leave it for the queue to refuse).
  using Wake = ErrorCode (*)(void* context, bool onUiThread) noexcept;

  UiRequestQueue() = default;
  UiRequestQueue(const UiRequestQueue&) = delete;
  UiRequestQueue& operator=(const UiRequestQueue&) = delete;

  // Opens the queue for the user-interface thread of the calling thread. `context` is
  // the wake routine's (never dereferenced by the queue).
  void open(void* context, Wake wake) noexcept;
  // Answers every request not answered yet "cancelled" and every later one at once.
  void close() noexcept;
  [[nodiscard]] bool isOpen() const noexcept;

  // Asks and waits for the reply (any thread). kGiven puts the text into `typed`;
  // `*error` (when given) receives the reason of kNotShown.
  [[nodiscard]] UiReply ask(std::u16string_view title, std::u16string& typed, ErrorCode* error = nullptr);

  // The user-interface thread: the oldest request not taken yet, or null.
  [[nodiscard]] std::shared_ptr<PasswordRequest> take() noexcept;
  // The user-interface thread: answers a taken request (a request that the closing of
  // the queue answered already stays "cancelled").
  void answer(const std::shared_ptr<PasswordRequest>& request, UiReply reply, std::u16string_view typed = {},
              ErrorCode error = kSuccess) noexcept;
  // Requests asked and not answered yet (taken or not).
  [[nodiscard]] size_t unanswered() const noexcept;

 private:
  mutable std::mutex lock_;
  std::condition_variable answered_;
  bool open_ = false;
  void* context_ = nullptr;
  Wake wake_ = nullptr;
  std::thread::id uiThread_;
  std::deque<std::shared_ptr<PasswordRequest>> waiting_;     // not taken yet
  std::vector<std::shared_ptr<PasswordRequest>> unanswered_;  // asked, not answered
};

// What an availability task tells the user about a password request that was refused
// outside a run: an owned copy that the task's thread hands over; the user-interface
// thread takes them all when it is woken.
struct RefusalNotice {
  std::u16string jobName;
  UiReply reply = UiReply::kPending;
  ErrorCode error = kSuccess;  // kNotShown: the system's reason
};

class RefusalNotices {
 public:
  // Any thread.
  void put(RefusalNotice notice) {
    std::lock_guard<std::mutex> guard(lock_);
    waiting_.push_back(std::move(notice));
  }
  // The user-interface thread: the notices put since the last call, oldest first.
  [[nodiscard]] std::vector<RefusalNotice> takeAll() {
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(waiting_, {});
  }

 private:
  std::mutex lock_;
  std::vector<RefusalNotice> waiting_;
};

// The prompt that asks through `queue` (what PasswordRequests and the account's
// password use): kGiven answers true, every other reply false, and a request that was
// not answered by the user is noted in the log of the asking thread's run.
[[nodiscard]] PasswordPrompt queuePrompt(UiRequestQueue& queue) noexcept;

// The run (or the task's test) of the calling thread, for notes about its questions:
// while a scope lives, requests of this thread that nobody answered are written to
// `sink` (the job's log; none when null) with the job's name and the reason, and the
// last reply that left a request without a password is kept. Scopes nest (the inner
// one counts).
class RunRequestScope {
 public:
  RunRequestScope(std::u16string_view jobName, const LogSink* sink) noexcept;
  ~RunRequestScope();
  RunRequestScope(const RunRequestScope&) = delete;
  RunRequestScope& operator=(const RunRequestScope&) = delete;

  // The last reply other than kGiven of the scope's requests (kPending: none came
  // through the queue), and its error for kNotShown.
  [[nodiscard]] UiReply lastRefusal() const noexcept { return lastRefusal_; }
  [[nodiscard]] ErrorCode lastRefusalError() const noexcept { return lastRefusalError_; }

 private:
  friend void noteUnansweredRequest(std::u16string_view title, UiReply reply, ErrorCode error) noexcept;
  std::u16string_view jobName_;
  const LogSink* sink_;
  RunRequestScope* outer_;
  UiReply lastRefusal_ = UiReply::kPending;
  ErrorCode lastRefusalError_ = kSuccess;
};

// Writes the note of a request that `reply` (kCancelled or kNotShown) left unanswered
// into the calling thread's run log, if any: the job, the request's title and the
// reason. Nothing for the other replies or without a run. Every reply but kGiven is
// kept as the scope's lastRefusal.
void noteUnansweredRequest(std::u16string_view title, UiReply reply, ErrorCode error) noexcept;

// The text of that note's reason ("cancelled: the program is ending", "not shown: "
// and the system's message).
[[nodiscard]] std::u16string unansweredReason(UiReply reply, ErrorCode error);

}  // namespace crvl
