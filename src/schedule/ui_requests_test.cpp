// Questions put to the user-interface thread: answered from that thread while the
// askers wait without a lock, cancelled at once when the queue closes, and noted in
// the asking run's log when nobody answered.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "schedule/ui_requests.h"

namespace crvl {
namespace {

// A wake that succeeds or fails with a fixed code; on the asking thread's own
// "user-interface thread" it answers nothing.
ErrorCode wakeWith(void* context, bool) noexcept { return *static_cast<ErrorCode*>(context); }

// Waits (bounded) until `done` holds; the test thread stands for the user-interface
// thread and keeps serving the queue meanwhile through `serve`.
template <typename Done, typename Serve>
bool serveUntil(Done done, Serve serve) {
  for (int i = 0; i < 2000 && !done(); ++i) {
    serve();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

TEST(UiRequestsTest, ARunsQuestionAndTheExportOnTheUiThreadDoNotWaitForEachOther) {
  ErrorCode woken = kSuccess;
  UiRequestQueue queue;
  queue.open(&woken, &wakeWith);
  RememberedPassword remembered;
  const PasswordPrompt runPrompt = queuePrompt(queue);

  std::u16string runGot;
  std::atomic<bool> runDone{false};
  std::thread run([&] {
    (void)remembered.obtain(runPrompt, u"plug-in", runGot);
    runDone = true;
  });
  // The run's question waits in the queue; meanwhile the export asks on the
  // user-interface thread with a dialog of its own.
  ASSERT_TRUE(serveUntil([&] { return queue.unanswered() == 1; }, [] {}));
  PasswordPrompt exportPrompt;
  exportPrompt.ask = [](void*, std::u16string_view, std::u16string& typed) {
    typed = u"account secret";
    return true;
  };
  std::u16string exportGot;
  std::atomic<bool> exportDone{false};
  std::thread exporter([&] {
    (void)remembered.obtain(exportPrompt, u"account", exportGot);
    exportDone = true;
  });
  const bool exportReturned = serveUntil([&] { return exportDone.load(); }, [] {});
  EXPECT_TRUE(exportReturned) << "the export waited for the run's open question";
  // The user-interface thread answers the run from what is remembered now.
  const bool runAnswered = serveUntil([&] { return runDone.load(); }, [&] {
    if (auto request = queue.take()) {
      std::u16string text;
      const bool known = remembered.get(text);
      queue.answer(request, known ? UiReply::kGiven : UiReply::kDeclined, text);
    }
  });
  queue.close();  // frees the threads when a wait above failed
  run.join();
  exporter.join();
  EXPECT_TRUE(runAnswered);
  EXPECT_EQ(exportGot, u"account secret");
  EXPECT_EQ(runGot, u"account secret");
}

// A sink that keeps the records: job|title|state.
struct Records {
  std::vector<std::u16string> lines;
  LogSink sink{this, [](void* self, int32_t, LogText left, LogText right, std::u16string& state) noexcept {
                 static_cast<Records*>(self)->lines.push_back(std::u16string(left.value_or(u"")) + u"|" +
                                                              std::u16string(right.value_or(u"")) + u"|" + state);
                 state.clear();
               }};
};

TEST(UiRequestsTest, UnansweredQuestionsAreRepliedAtOnceNotedInTheRunsLogAndKeptByTheScope) {
  enum class Then { kClose, kDecline, kWakeFails, kCloseWhileShown };
  struct Case {
    Then then;
    UiReply reply;
    const char16_t* noted;  // the start of the note's state, or null: no note
  } const cases[] = {
      {Then::kClose, UiReply::kCancelled, u"Password request cancelled"},
      {Then::kCloseWhileShown, UiReply::kCancelled, u"Password request cancelled"},
      {Then::kWakeFails, UiReply::kNotShown, u"Password request not shown: "},
      {Then::kDecline, UiReply::kDeclined, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.then));
    ErrorCode woken = c.then == Then::kWakeFails ? kErrorInvalidWindowHandle : kSuccess;
    UiRequestQueue queue;
    queue.open(&woken, &wakeWith);
    const PasswordPrompt prompt = queuePrompt(queue);
    Records records;
    std::atomic<bool> given{true};
    std::atomic<bool> done{false};
    UiReply kept = UiReply::kPending;
    std::thread run([&] {
      const RunRequestScope scope(u"Remote", &records.sink);
      std::u16string typed;
      given = prompt.ask(prompt.context, u"TestFS", typed);
      kept = scope.lastRefusal();
      done = true;
    });
    if (c.then != Then::kWakeFails) {
      ASSERT_TRUE(serveUntil([&] { return queue.unanswered() == 1; }, [] {}));
      std::shared_ptr<PasswordRequest> shown;
      if (c.then != Then::kClose) shown = queue.take();
      if (c.then == Then::kDecline) queue.answer(shown, UiReply::kDeclined);
      if (c.then != Then::kDecline) queue.close();
      // An answer after the close changes nothing.
      if (c.then == Then::kCloseWhileShown) queue.answer(shown, UiReply::kGiven, u"late");
    }
    EXPECT_TRUE(serveUntil([&] { return done.load(); }, [] {}));
    queue.close();
    run.join();
    EXPECT_FALSE(given.load());
    EXPECT_EQ(kept, c.reply) << "the scope keeps the reply that refused (an availability task tells it)";
    if (c.noted == nullptr) {
      EXPECT_TRUE(records.lines.empty());
    } else {
      ASSERT_EQ(records.lines.size(), 1u);
      EXPECT_EQ(records.lines[0].rfind(std::u16string(u"Remote|TestFS|") + c.noted, 0), 0u);
    }
    // A closed queue replies "cancelled" without waiting for anybody.
    std::u16string typed;
    EXPECT_EQ(queue.ask(u"later", typed), UiReply::kCancelled);
  }
}

}  // namespace
}  // namespace crvl
