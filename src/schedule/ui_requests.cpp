#include "schedule/ui_requests.h"

#include <algorithm>

namespace crvl {
namespace {

thread_local RunRequestScope* t_runScope = nullptr;

}  // namespace

void UiRequestQueue::open(void* context, Wake wake) noexcept {
  std::lock_guard<std::mutex> guard(lock_);
  open_ = true;
  context_ = context;
  wake_ = wake;
  uiThread_ = std::this_thread::get_id();
}

void UiRequestQueue::close() noexcept {
  std::lock_guard<std::mutex> guard(lock_);
  open_ = false;
  wake_ = nullptr;
  context_ = nullptr;
  for (const auto& request : unanswered_) request->reply = UiReply::kCancelled;
  unanswered_.clear();
  waiting_.clear();
  answered_.notify_all();
}

bool UiRequestQueue::isOpen() const noexcept {
  std::lock_guard<std::mutex> guard(lock_);
  return open_;
}

UiReply UiRequestQueue::ask(std::u16string_view title, std::u16string& typed, ErrorCode* error) {
  wipeText(typed);
  auto request = std::make_shared<PasswordRequest>();
  request->title.assign(title);
  std::unique_lock<std::mutex> guard(lock_);
  if (!open_) return UiReply::kCancelled;
  waiting_.push_back(request);
  unanswered_.push_back(request);
  const Wake wake = wake_;
  void* const context = context_;
  const bool onUiThread = std::this_thread::get_id() == uiThread_;
  // The wake posts (or, on the user-interface thread, handles) a message: never under
  // the lock, since the handler takes and answers through it.
  guard.unlock();
  const ErrorCode wakeError = wake(context, onUiThread);
  const bool woken = wakeError == kSuccess;
  guard.lock();
  if (request->reply == UiReply::kPending && (!woken || onUiThread)) {
    // Nobody will take it: the window is gone, or the user-interface thread could not
    // answer it now (a question of its own is open).
    request->reply = UiReply::kNotShown;
    request->error = woken ? kErrorBusy : wakeError;
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), request), waiting_.end());
    unanswered_.erase(std::remove(unanswered_.begin(), unanswered_.end(), request), unanswered_.end());
  }
  answered_.wait(guard, [&] { return request->reply != UiReply::kPending; });
  if (error != nullptr) *error = request->error;
  if (request->reply == UiReply::kGiven) typed = request->typed;
  return request->reply;
}

std::shared_ptr<PasswordRequest> UiRequestQueue::take() noexcept {
  std::lock_guard<std::mutex> guard(lock_);
  if (waiting_.empty()) return nullptr;
  std::shared_ptr<PasswordRequest> request = std::move(waiting_.front());
  waiting_.pop_front();
  return request;
}

void UiRequestQueue::answer(const std::shared_ptr<PasswordRequest>& request, UiReply reply, std::u16string_view typed,
                            ErrorCode error) noexcept {
  if (request == nullptr) return;
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = std::find(unanswered_.begin(), unanswered_.end(), request);
  if (found == unanswered_.end()) return;  // answered by the closing already
  unanswered_.erase(found);
  try {
    request->typed.assign(typed);
    request->reply = reply;
    request->error = error;
  } catch (...) {
    request->reply = UiReply::kNotShown;
    request->error = kErrorNotEnoughMemory;
  }
  answered_.notify_all();
}

size_t UiRequestQueue::unanswered() const noexcept {
  std::lock_guard<std::mutex> guard(lock_);
  return unanswered_.size();
}

PasswordPrompt queuePrompt(UiRequestQueue& queue) noexcept {
  PasswordPrompt prompt;
  prompt.context = &queue;
  prompt.ask = [](void* context, std::u16string_view title, std::u16string& typed) {
    ErrorCode error = kSuccess;
    const UiReply reply = static_cast<UiRequestQueue*>(context)->ask(title, typed, &error);
    noteUnansweredRequest(title, reply, error);
    return reply == UiReply::kGiven;
  };
  return prompt;
}

RunRequestScope::RunRequestScope(std::u16string_view jobName, const LogSink* sink) noexcept
    : jobName_(jobName), sink_(sink), outer_(t_runScope) {
  t_runScope = this;
}

RunRequestScope::~RunRequestScope() { t_runScope = outer_; }

std::u16string unansweredReason(UiReply reply, ErrorCode error) {
  if (reply == UiReply::kCancelled) return u"Password request cancelled: the program is ending or restarting.";
  std::u16string text = u"Password request not shown: ";
  std::u16string message = platform::systemMessage(error);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r')) message.pop_back();
  return text + message;
}

void noteUnansweredRequest(std::u16string_view title, UiReply reply, ErrorCode error) noexcept {
  RunRequestScope* scope = t_runScope;
  if (scope == nullptr || reply == UiReply::kGiven || reply == UiReply::kPending) return;
  scope->lastRefusal_ = reply;
  scope->lastRefusalError_ = error;
  if ((reply != UiReply::kCancelled && reply != UiReply::kNotShown) || scope->sink_ == nullptr) return;
  try {
    std::u16string state = unansweredReason(reply, error);
    writeLogRecord(scope->sink_, kMarkerSideUnavailable, LogText(scope->jobName_), LogText(title), state);
  } catch (...) {
  }
}

}  // namespace crvl
