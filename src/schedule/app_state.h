// The application state: everything that the threads of the program share besides the
// program settings store, created once per shell cycle (the tray program) or once per
// console command, and reachable through one process-wide pointer while it exists.
// Lower layers never reach it: what they need is handed to them (the provider table
// to a run, the enlargement hook to its lists, the settings copies to its log).
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/entry_list.h"
#include "engine/provider_table.h"
#include "language/language_choice.h"
#include "logs/log_format.h"
#include "plugins/plugin_callbacks.h"
#include "plugins/plugin_host.h"
#include "plugins/remembered_password.h"
#include "schedule/job_runner.h"
#include "schedule/ui_requests.h"

namespace crvl {

class ProfileStore;

inline constexpr size_t kProductNameChars = 31;
inline constexpr size_t kStartJobNameChars = 40;
inline constexpr int kRunSlotCount = 100;

// One entry of the running-job table.
struct RunSlot {
  std::atomic<int32_t> jobNumber{0};  // 0: free
  std::atomic<int32_t> control{0};    // 0 run on, 1 stop this job, 2 stop all runs
};

// Where the scheduler tells the user interface about runs: the shell posts the command
// to its main window, the console prints or ignores it. Called on any thread; must not
// wait for the user-interface thread.
struct NotificationSink {
  void* context = nullptr;
  void (*post)(void* context, uint32_t command) = nullptr;
};

// What the scheduler tells about each run it carries out (the console daemon prints
// it). Called on the run's thread.
struct RunEvents {
  void* context = nullptr;
  void (*started)(void* context, const Job& job, bool execute) = nullptr;
  void (*ended)(void* context, const Job& job, bool execute, const RunResult& result) = nullptr;
  // A task found that its job is no longer in the register: the task does nothing.
  // Called once until the job is there again. On the task's thread.
  void (*jobMissing)(void* context, std::u16string_view jobName) = nullptr;
  // An availability task's test of its job met a password request that was refused:
  // the task asks nobody again until the user starts a job. Called once per refusal,
  // on the task's thread, with the reply that refused it (kDeclined: the user; kPending
  // when the prompt was none of the queue's) and its error for kNotShown.
  void (*passwordRefused)(void* context, std::u16string_view jobName, UiReply reply, ErrorCode error) = nullptr;
};

// Time as the scheduler reads and waits for it; tests put a clock of their own here.
struct SchedulerClock {
  void* context = nullptr;
  uint64_t (*now)(void* context) = nullptr;                // FILETIME ticks; null: the system clock
  void (*sleep)(void* context, uint32_t milliseconds) = nullptr;  // null: the system's sleep
};

struct AppState {
  // Identity.
  void* moduleInstance = nullptr;       // the program's module (Windows)
  std::u16string productName = u"Corvell";
  // Icons: the shell's handles, null in the console.
  void* programIcon = nullptr;
  void* idleIcon = nullptr;
  void* busyIcon = nullptr;
  // Language: the current table of the process points into this state.
  LanguageState language;
  // Copies of settings of section "CRVL", read at start-up.
  std::atomic<uint32_t> appOptions{0};  // "Opt"
  uint16_t menuIconSize = 0;            // "IconMn"
  LogFormat logFormat = 6;              // "ExpMode"
  uint32_t darkMode = 0;                // "DM"
  uint16_t listIconSize = 16;
  uint16_t toolbarIconSize = 32;
  // Start: the job named on the command line, if any.
  std::u16string startJobName;
  // Shell.
  std::atomic<uint32_t> restartRequests{0};
  void* modalDialog = nullptr;          // the modal dialog open now, or null
  // The password that plug-in requests and the Task Scheduler's account share: asked
  // at most once, kept in memory only. The plug-in binding reaches it through
  // passwordRequests, which attachPluginBinding hands to the binding's callbacks.
  // The shell asks the user through uiRequests (closed while the cycle ends).
  RememberedPassword rememberedPassword;
  UiRequestQueue uiRequests;
  RefusalNotices refusalNotices;        // for the shell's tray notices
  PasswordRequests passwordRequests;
  // What the plug-in binding reaches of the program (settings, main window). Both stand
  // before the provider table, which unloads its plug-ins when it goes.
  PluginHost plugins;
  // The file systems every run reaches its folders through.
  ProviderTable providers;
  // Where the runs' lists are enlarged (the shell's main window); null: in place.
  ListEnlargementHook enlargement = nullptr;

  // Scheduling.
  std::atomic<int32_t> quitRequested{0};
  std::atomic<int32_t> runsInProgress{0};
  std::atomic<int32_t> busyCount{0};       // modal dialogs open; runs wait while not 0
  std::atomic<uint32_t> userStarts{0};     // runs the user started; lets refused tasks ask again
  std::array<RunSlot, kRunSlotCount> runSlots;
  std::mutex slotLock;                     // over claiming and releasing slots
  NotificationSink notifications;
  RunEvents runEvents;
  SchedulerClock clock;
  // The settings runs and tasks are read from; null: the program settings store.
  ProfileStore* settings = nullptr;
  // The drive queries of medium checks and ejection; null: the system's.
  const VolumeQueries* volumes = nullptr;
  // The threads the scheduler started and that have not ended yet.
  std::mutex threadLock;
  std::condition_variable threadsEnded;
  int32_t liveThreads = 0;                 // guarded by threadLock
};

// Connects the plug-in binding to this state: the plug-ins listed in `settings`
// register into `state.providers` on the first lookup that needs them, modules get
// `mainWindow`, and their password requests go to the remembered password or else to
// `prompt` (the shell's password dialog, the console's input; an empty prompt answers
// every request false). `settings` must outlive the state.
void attachPluginBinding(AppState& state, ProfileStore& settings, const PasswordPrompt& prompt,
                         void* mainWindow = nullptr);

// The state of the current cycle, or null outside one.
[[nodiscard]] AppState* appState() noexcept;

// Creates the state of one cycle and makes it current; destroying the scope clears the
// pointer and frees the state. REQUIRES: at most one scope exists at a time.
class AppStateScope {
 public:
  AppStateScope();
  ~AppStateScope();
  AppStateScope(const AppStateScope&) = delete;
  AppStateScope& operator=(const AppStateScope&) = delete;
  [[nodiscard]] AppState& state() noexcept { return *state_; }

 private:
  std::unique_ptr<AppState> state_;
};

}  // namespace crvl
