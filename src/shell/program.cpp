#include "shell/program.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "jobs/stored_file_leftovers.h"
#include "language/language_table.h"
#include "platform/modules.h"
#include "platform/shell_files.h"
#include "platform/win32/handles.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "schedule/scheduler.h"
#include "shell/command_line.h"
#include "shell/main_window.h"

namespace crvl::shell {
namespace {

// Held by the first instance for its whole life: two instances started at the same
// moment cannot both pass the window search, since the second finds the mutex taken.
constexpr wchar_t kInstanceMutex[] = L"Local\\Corvell.CRVL.instance";
// How long a second instance waits for the first one's window before it forwards.
constexpr DWORD kForwardTimeoutMs = 30'000;

std::vector<std::u16string> commandArguments() {
  std::vector<std::u16string> arguments;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (argv == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  ::LocalFree(argv);
  return arguments;
}

// Hands the job name to the running instance's window (synchronously) and answers
// whether it was delivered. No name: nothing is sent.
void forwardJobName(HWND running, const std::u16string& jobName) {
  if (jobName.empty() || !::IsWindow(running)) return;
  std::u16string payload = copyDataPayload(jobName);
  COPYDATASTRUCT data{};
  data.dwData = kCopyDataUtf16;
  data.cbData = static_cast<DWORD>(payload.size() * sizeof(char16_t));
  data.lpData = payload.data();
  DWORD_PTR answer = 0;
  ::SendMessageTimeoutW(running, WM_COPYDATA, /*wParam=*/0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                        kForwardTimeoutMs, &answer);
}

// Decides whether this process is the first instance. A second instance forwards its
// job name and gets false. `mutex` receives the instance mutex of the first.
bool becomeFirstInstance(const StartOptions& options, platform::OwnedMutex& mutex) {
  if (const HWND running = ::FindWindowW(kMainWindowClass, nullptr); running != nullptr) {
    forwardJobName(running, options.jobName);
    return false;
  }
  HANDLE handle = ::CreateMutexW(/*lpMutexAttributes=*/nullptr, /*bInitialOwner=*/TRUE, kInstanceMutex);
  if (handle == nullptr) return true;  // no mutex: the window search alone decides
  if (::GetLastError() != ERROR_ALREADY_EXISTS) {
    mutex.reset(handle);
    return true;
  }
  // Another instance is starting (or waiting out its start-up delay): wait for its
  // window, or for the mutex when that instance ends without one.
  platform::UniqueKernelHandle waiting(handle);
  for (;;) {
    if (const HWND running = ::FindWindowW(kMainWindowClass, nullptr); running != nullptr) {
      forwardJobName(running, options.jobName);
      return false;
    }
    const DWORD result = ::WaitForSingleObject(waiting.get(), 100);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
      mutex.reset(waiting.release());
      return ::FindWindowW(kMainWindowClass, nullptr) == nullptr;
    }
    if (result == WAIT_FAILED) return true;
  }
}

// Ends every thread of the cycle (quitAndWait) while this thread keeps answering sent
// messages: a run that was sending to the window as it went waits for the answer.
void endCycleThreads(AppState& state) {
  const HANDLE thread = ::CreateThread(
      /*lpThreadAttributes=*/nullptr, /*dwStackSize=*/0,
      [](void* parameter) -> DWORD {
        quitAndWait(*static_cast<AppState*>(parameter));
        return 0;
      },
      &state, /*dwCreationFlags=*/0, /*lpThreadId=*/nullptr);
  if (thread == nullptr) {
    quitAndWait(state);
    return;
  }
  const platform::UniqueKernelHandle owner(thread);
  for (;;) {
    const DWORD woken = ::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
    if (woken != WAIT_OBJECT_0 + 1) break;  // the thread ended (or the wait failed)
    MSG message{};
    while (::PeekMessageW(&message, /*hWnd=*/nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
}

// One shell cycle: the state, the provider table, the window and its message loop,
// then the end of every thread of the cycle. Returns whether a restart was requested;
// `exitCode` receives the wParam of WM_QUIT.
bool runShellCycle(ProfileStore& settings, int& exitCode) {
  AppStateScope scope;
  AppState& state = scope.state();
  state.moduleInstance = ::GetModuleHandleW(nullptr);
  // The language first: the plug-in root of the provider table carries its text.
  state.language.applyLanguage(settings);
  {
    const uint32_t previous = platform::setProcessErrorMode(SEM_FAILCRITICALERRORS);
    state.providers.initialize(uiText(kTextFSPg));
    platform::setProcessErrorMode(previous);
  }
  state.startJobName = parseStartArguments(commandArguments()).jobName;

  {
    MainWindow window(state, settings);
    if (window.create()) {
      MSG message{};
      for (;;) {
        const BOOL got = ::GetMessageW(&message, /*hWnd=*/nullptr, 0, 0);
        if (got == 0) {
          exitCode = static_cast<int>(message.wParam);
          break;
        }
        if (got == -1) break;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
    }
  }
  // The window is gone: every thread of this cycle ends before its state goes (runs
  // still in progress enlarge their lists in place from now on).
  requestQuit(state);
  endCycleThreads(state);
  // The provider table unloads the plug-ins when the state goes.
  return state.restartRequests.load() != 0;
}

}  // namespace

int runProgram() noexcept {
  try {
    // Libraries are never taken from the current folder.
    platform::restrictLibrarySearch();
    const StartOptions options = parseStartArguments(commandArguments());
    platform::OwnedMutex instance;
    if (!becomeFirstInstance(options, instance)) return 0;
    for (uint32_t second = 0; second < options.delaySeconds; ++second) ::Sleep(1000);

    ProfileStore& settings = programSettingsStore();
    openProgramSettings(settings);
    // What a killed settings write left behind goes at the next start.
    (void)removeStaleTemporaries(settings.path(), {defaultJobFolder(settings), logFolder(settings)});
    int exitCode = 0;
    while (runShellCycle(settings, exitCode)) {
      // The restored file is read afresh by the next cycle.
      settings.unfreezeStore();
      settings.reloadStore();
    }
    return exitCode;
  } catch (...) {
    return 0;
  }
}

}  // namespace crvl::shell
