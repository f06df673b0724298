// The commands of the main window: the tray menu, the per-job commands and the
// internal commands.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <string>

#include "jobs/job.h"
#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "language/language_table.h"
#include "logs/log_index.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "resources/language_resources.h"
#include "schedule/app_state.h"
#include "schedule/scheduler.h"
#include "schedule/timed_task_export.h"
#include "schedule/ui_requests.h"
#include "shell/dialogs.h"
#include "shell/help_files.h"
#include "shell/main_window.h"
#include "shell/menu_trace.h"
#include "shell/system_integration.h"

namespace crvl::shell {
namespace {

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Opens a file or address with the shell's default verb, shown normally.
void shellOpen(const std::u16string& target, const std::u16string& folder = {}) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpFile = wide(target);
  info.lpDirectory = folder.empty() ? nullptr : wide(folder);
  info.nShow = SW_SHOWNORMAL;
  ::ShellExecuteExW(&info);
}

std::u16string folderOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash));
}

// Busy while a dialog is open: runs wait, and tray clicks bring the dialog forward.
class BusyScope {
 public:
  explicit BusyScope(AppState& state) : state_(state) { state_.busyCount.fetch_add(1); }
  ~BusyScope() {
    state_.modalDialog = nullptr;
    state_.busyCount.fetch_sub(1);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  AppState& state_;
};

// Records the file dialog as the open modal dialog, so that a tray click brings it to
// the front. The hook's window is a child of the dialog in the explorer form.
UINT_PTR CALLBACK fileDialogHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* ofn = reinterpret_cast<const OPENFILENAMEW*>(lParam);
    auto* state = reinterpret_cast<AppState*>(ofn->lCustData);
    const HWND dialog = ::GetParent(hook);
    if (state != nullptr) state->modalDialog = dialog != nullptr ? dialog : hook;
  }
  return 0;
}

// The system's file dialog for a settings file; `save` chooses the save form. Returns
// the chosen path, or an empty text when the user cancelled.
std::u16string chooseSettingsFile(HWND owner, AppState& state, const std::u16string& current, bool save) {
  const size_t slash = current.find_last_of(u"\\/");
  std::u16string folder = slash == std::u16string::npos ? std::u16string() : current.substr(0, slash);
  std::wstring buffer(32768, L'\0');
  const std::u16string name = slash == std::u16string::npos ? current : current.substr(slash + 1);
  name.copy(reinterpret_cast<char16_t*>(buffer.data()), std::min<size_t>(name.size(), buffer.size() - 1));
  static constexpr wchar_t kFilter[] = L"INI\0*.INI\0*.*\0*.*\0";
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = kFilter;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : wide(folder);
  ofn.lpstrDefExt = L"INI";
  ofn.lCustData = reinterpret_cast<LPARAM>(&state);
  ofn.lpfnHook = &fileDialogHook;
  ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_NOCHANGEDIR | OFN_HIDEREADONLY |
              (save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
  const BOOL chosen = save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
  if (!chosen) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.c_str()));
}

}  // namespace

template <typename Show>
bool MainWindow::withDialog(Show show) noexcept {
  if (state_.modalDialog != nullptr) {
    // One dialog at a time: a command that arrives while one is open (posted by another
    // program, or queued before it opened) brings that one forward instead.
    bringDialogToFront();
    return false;
  }
  try {
    BusyScope busy(state_);
    DialogContext context{state_, settings_, handle()};
    return show(context);
  } catch (...) {
    return false;
  }
}

void MainWindow::onCommand(uint16_t command, LPARAM lParam) noexcept {
  enableTable_.refresh(state_.runsInProgress.load());
  if (enableTable_.disabled(command)) {
    traceDroppedCommand(command);
    return;
  }
  const auto jobNumber = static_cast<int32_t>(lParam);
  switch (command) {
    case kCmdExit:
    case kCmdClose:
      ::PostMessageW(handle(), WM_CLOSE, 0, 0);
      break;
    case kCmdStopAll:
    case kCmdStopAllAlways:
      stopAllRuns();
      break;
    case kCmdDeferredStart:
      deferredStart();
      break;
    case kCmdStartTasks:
      startTasks();
      break;
    case kCmdRunsChanged:
      refreshTrayIcon();
      break;
    case kCmdConfigureJobs:
      if (!runsInProgress()) withDialog([](DialogContext& c) { return showJobRegisterDialog(c); });
      break;
    case kCmdViewLogs:
      if (!runsInProgress()) withDialog([](DialogContext& c) { return showLogsDialog(c); });
      break;
    case kCmdPlan:
    case kCmdJobPlan:
      if (!runsInProgress() && withDialog([](DialogContext& c) { return showPlannedTasksDialog(c); })) {
        exportTasks();
      }
      break;
    case kCmdConfiguration:
      if (!runsInProgress()) {
        const uint32_t before = state_.appOptions.load();
        int page = lastConfigurationPage_;
        if (withDialog([&page](DialogContext& c) { return showConfigurationDialog(c, &page); })) {
          // The dialog stored the options; the running program follows them.
          const uint32_t after = readAppOptions(settings_);
          state_.appOptions.store(after);
          syncStartWithWindows(settings_, after);
          if ((before ^ after) & kAppNoMenuIcons) state_.language.applyLanguage(settings_);
          const uint32_t iconSize = readMenuIconSize(settings_);
          if (iconSize >= 16 && iconSize != state_.menuIconSize) {
            state_.menuIconSize = static_cast<uint16_t>(iconSize);
            menuIcons_.load(::GetModuleHandleW(nullptr), iconSize);
          }
          painter_.reset();
        }
        lastConfigurationPage_ = page;
      }
      break;
    case kCmdLanguage:
      withDialog([](DialogContext& c) { return showLanguageDialog(c); });
      break;
    case kCmdProductInfo:
      withDialog([](DialogContext& c) { return showProductInformation(c); });
      break;
    case kCmdDarkDisable:
    case kCmdDarkAllow:
    case kCmdDarkForce:
      chooseDarkMode(command - kCmdDarkDisable);
      break;
    case kCmdBackupSettings:
      backupSettingsCommand();
      break;
    case kCmdRestoreSettings:
      restoreSettingsCommand();
      break;
    case kCmdHelp:
      openHelp(0);
      break;
    case kCmdGoOnline:
      openProgramPage(reinterpret_cast<const wchar_t*>(kOnlineSection));
      break;
    case kCmdCheckUpdates:
      openProgramPage(reinterpret_cast<const wchar_t*>(kUpdatesSection));
      break;
    case kCmdJobStart:
    case kCmdJobSimulate:
      if (jobNumber > 0) startRun(jobNumber, command == kCmdJobStart);
      break;
    case kCmdJobStop:
      stopJob(state_, jobNumber);
      break;
    case kCmdJobViewLog:
      viewJobLog(jobNumber);
      break;
    case kCmdJobCustomize:
      if (!runsInProgress()) {
        withDialog([jobNumber](DialogContext& c) { return showJobEditor(c, jobNumber); });
      }
      break;
    default:
      break;
  }
}

void MainWindow::deferredStart() noexcept {
  enableTable_.refresh(state_.runsInProgress.load());
  ::SendMessageW(handle(), WM_COMMAND, kCmdStartTasks, 0);
  if (!state_.startJobName.empty()) startByName(state_.startJobName);
}

void MainWindow::refreshTrayIcon() noexcept {
  tray_.setIcon(state_.runsInProgress.load() != 0 ? busyIcon_.get() : idleIcon_.get());
}

void MainWindow::stopAllRuns() noexcept { stopAll(state_); }

// The scheduler starts threads and reads the settings: a failure there (no thread, no
// memory) drops the start, and the window procedure carries on.
void MainWindow::startTasks() noexcept {
  try {
    startScheduledTasks(state_);
  } catch (...) {
  }
}

void MainWindow::startByName(const std::u16string& name) noexcept {
  try {
    (void)startJobByName(state_, name);
  } catch (...) {
  }
}

void MainWindow::startRun(int32_t jobNumber, bool execute) noexcept {
  try {
    startRunThread(state_, jobNumber, execute);
  } catch (...) {
  }
}

void MainWindow::showTrayMenu() noexcept {
  if (openMenu_) return;  // a menu is open already
  try {
    TrayMenuInput input;
    input.jobTemplate = languageResources().jobMenu;
    input.jobs = readMenuRegister(settings_);
    input.darkModeAvailable = darkMode_.available();
    input.darkModeChoice = state_.darkMode;
    input.jobIsRunning = [this](int32_t number) { return jobIsRunning(state_, number); };
    std::vector<MenuItem> items = buildTrayMenu(languageResources().trayMenu, input);
    // A text the language lacks: no menu at all, rather than a menu with holes.
    if (!resolveMenuTexts(items, [](uint16_t id) { return uiText(id); })) return;
    auto menu = std::make_unique<PopupMenu>();
    if (menu->create(std::move(items)) != 0) return;
    enableTable_.refresh(state_.runsInProgress.load());
    menu->applyEnableTable(enableTable_);
    traceMenu(menu->handle());
    openMenu_ = std::move(menu);

    POINT at{};
    ::GetCursorPos(&at);
    // The menu closes when the user clicks elsewhere only while the window is in front.
    ::SetForegroundWindow(handle());
    const UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON |
                       (::GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN);
    const auto chosen = static_cast<UINT>(
        ::TrackPopupMenuEx(openMenu_->handle(), flags, at.x, at.y, handle(), /*lptpm=*/nullptr));
    ::PostMessageW(handle(), WM_NULL, 0, 0);
    openMenu_.reset();
    // Questions that came while the menu was open are answered now.
    ::PostMessageW(handle(), kMessageUiRequests, 0, 0);
    if (chosen != 0 && chosen <= 0xFFFF) {
      const MenuChoice choice = decodeMenuId(static_cast<uint16_t>(chosen));
      ::PostMessageW(handle(), WM_COMMAND, choice.command, choice.jobNumber);
    }
  } catch (...) {
    openMenu_.reset();
  }
}

void MainWindow::chooseDarkMode(uint32_t choice) noexcept {
  if (choice == state_.darkMode) return;
  ErrorCode flushed = 0;
  uint32_t options = state_.appOptions.load();
  (void)writeDarkMode(settings_, choice, darkMode_.wouldBeDark(state_.darkMode), darkMode_.wouldBeDark(choice),
                      &options, &flushed);
  state_.appOptions.store(options);
  state_.darkMode = choice;
  darkMode_.apply(choice);
  ::RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void MainWindow::backupSettingsCommand() noexcept {
  try {
    std::u16string target;
    {
      BusyScope busy(state_);
      target = chooseSettingsFile(handle(), state_, settings_.path(), /*save=*/true);
    }
    // The save dialog asked before it named an existing file: the user agreed to
    // replace it.
    if (!target.empty()) (void)backupSettings(settings_, target, nullptr, ExistingTarget::Replace);
  } catch (...) {
  }
}

void MainWindow::restoreSettingsCommand() noexcept {
  try {
    std::u16string source;
    {
      BusyScope busy(state_);
      source = chooseSettingsFile(handle(), state_, settings_.path(), /*save=*/false);
    }
    if (source.empty()) return;
    bool restart = false;
    if (restoreSettings(settings_, source, &restart) != 0 || !restart) return;
    // The cycle ends; the program's loop starts the next one with the restored file once
    // every thread of this one has ended.
    state_.restartRequests.fetch_add(1);
    requestQuit(state_);
    cancelUiRequests();
    stopAllRuns();
    ::DestroyWindow(handle());
  } catch (...) {
  }
}

void MainWindow::openHelp(uint32_t context) noexcept {
  try {
    const HelpFile help = findHelpFile(platform::programPath(), state_.language.key(),
                                       [](std::u16string_view path) { return platform::pathExists(path); });
    switch (help.kind) {
      case HelpKind::kNone:
        break;
      case HelpKind::kHtmlHelp: {
        // The viewer is loaded on first use and kept for the program's life.
        static platform::Module viewer;
        using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
        if (!viewer.loaded()) (void)viewer.loadSystem(u"hhctrl.ocx");
        const auto htmlHelp = viewer.function<HtmlHelpFn>("HtmlHelpW");
        constexpr UINT kDisplayTopic = 0x0000;
        constexpr UINT kHelpContext = 0x000F;
        if (htmlHelp != nullptr) {
          htmlHelp(::GetDesktopWindow(), wide(help.path), context != 0 ? kHelpContext : kDisplayTopic, context);
        }
        break;
      }
      case HelpKind::kWinHelp: {
        // The system's help engine is a program of its own since Windows Vista.
        const std::u16string parameters = u"\"" + help.path + u"\"";
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.lpFile = L"winhlp32.exe";
        info.lpParameters = wide(parameters);
        info.nShow = SW_SHOWNORMAL;
        ::ShellExecuteExW(&info);
        break;
      }
      case HelpKind::kPage:
        shellOpen(help.path, folderOf(help.path));
        break;
    }
  } catch (...) {
  }
}

void MainWindow::openProgramPage(const wchar_t* section) noexcept {
  try {
    const HelpFile help = findHelpFile(platform::programPath(), state_.language.key(),
                                       [](std::u16string_view path) { return platform::pathExists(path); });
    if (help.kind == HelpKind::kNone) return;
    if (help.kind != HelpKind::kPage) {
      openHelp(0);
      return;
    }
    shellOpen(fileUrl(help.path, reinterpret_cast<const char16_t*>(section)));
  } catch (...) {
  }
}

void MainWindow::serveUiRequests() noexcept {
  // One question at a time (a prompt's own message loop brings this here again), and
  // none while a menu is tracked: the menu's end wakes the queue once more.
  if (servingRequests_ || openMenu_) return;
  servingRequests_ = true;
  while (const std::shared_ptr<PasswordRequest> request = state_.uiRequests.take()) serveUiRequest(request);
  servingRequests_ = false;
}

void MainWindow::serveUiRequest(const std::shared_ptr<PasswordRequest>& request) noexcept {
  std::u16string typed;
  try {
    // A question asked while an earlier one was open gets the earlier answer.
    if (state_.rememberedPassword.get(typed)) {
      state_.uiRequests.answer(request, UiReply::kGiven, typed);
      wipeText(typed);
      return;
    }
    if (state_.quitRequested.load() != 0) {
      state_.uiRequests.answer(request, UiReply::kCancelled);
      return;
    }
    // Over the open modal dialog, owned by it, so that it comes up in front of it.
    const HWND open = static_cast<HWND>(state_.modalDialog);
    const HWND owner = open != nullptr && ::IsWindow(open) ? open : handle();
    state_.busyCount.fetch_add(1);
    DialogContext context{state_, settings_, owner};
    bool confirmed = false;
    const ErrorCode shown = askPasswordOver(context, request->title, &typed, &confirmed);
    state_.busyCount.fetch_sub(1);
    if (shown != kSuccess) {
      state_.uiRequests.answer(request, UiReply::kNotShown, {}, shown);
    } else if (!confirmed || typed.empty()) {
      state_.uiRequests.answer(request, state_.uiRequests.isOpen() ? UiReply::kDeclined : UiReply::kCancelled);
    } else {
      (void)state_.rememberedPassword.remember(typed);
      state_.uiRequests.answer(request, UiReply::kGiven, typed);
    }
  } catch (...) {
    state_.uiRequests.answer(request, UiReply::kNotShown, {}, kErrorNotEnoughMemory);
  }
  wipeText(typed);
}

void MainWindow::cancelUiRequests() noexcept {
  state_.uiRequests.close();
  // A prompt that is open now is the innermost modal dialog: it closes as cancelled.
  if (servingRequests_ && state_.modalDialog != nullptr) {
    ::PostMessageW(static_cast<HWND>(state_.modalDialog), WM_COMMAND, IDCANCEL, 0);
  }
}

void MainWindow::exportTasks() noexcept {
  const AccountPassword password = accountPasswordOf(state_);
  exportTimeControlledTasks(settings_, password);
}

void MainWindow::viewJobLog(int32_t jobNumber) noexcept {
  try {
    Job job;
    (void)readRegisterEntry(jobNumber, job, settings_);  // a job kept in the settings has logs too
    if (job.jobName.empty()) return;
    const std::u16string log = findLatestJobLog(logFolder(settings_), job.jobName);
    if (!log.empty()) shellOpen(log, folderOf(log));
  } catch (...) {
  }
}

}  // namespace crvl::shell
