#include "shell/main_window.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>

#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "platform/desktop.h"
#include "resources/program_resources.h"
#include "schedule/app_state.h"
#include "schedule/scheduler.h"
#include "shell/command_line.h"
#include "shell/help_files.h"
#include "shell/menu_trace.h"
#include "shell/refusal_notice.h"
#include "shell/system_integration.h"

namespace crvl::shell {
namespace {

std::atomic<HWND> g_mainWindow{nullptr};

// The request that travels through kMessageCallOnUiThread for a list enlargement.
struct EnlargementCall {
  void (*routine)(void*) noexcept;
  void* request;
  bool called;
};

LRESULT callEnlargement(LPARAM argument) noexcept {
  auto* call = reinterpret_cast<EnlargementCall*>(argument);
  call->called = true;
  call->routine(call->request);
  return 0;
}

// The routines that kMessageCallOnUiThread may run.
bool isUiRoutine(WPARAM address) noexcept {
  static const UiRoutine kRoutines[] = {&callEnlargement};
  for (const UiRoutine routine : kRoutines) {
    if (address == reinterpret_cast<WPARAM>(routine)) return true;
  }
  return false;
}

HICON loadIcon(int id, int size) noexcept {
  return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size,
                                         LR_DEFAULTCOLOR));
}

// Wakes the user-interface thread for the queue of questions; the window is found by
// its handle each time, so a window that is gone refuses instead of being reached.
ErrorCode wakeForRequests(void* /*context*/, bool onUiThread) noexcept {
  const HWND window = mainWindowHandle();
  if (window == nullptr) return kErrorInvalidWindowHandle;
  if (onUiThread) {
    ::SendMessageW(window, kMessageUiRequests, 0, 0);
    return kSuccess;
  }
  if (::PostMessageW(window, kMessageUiRequests, 0, 0)) return kSuccess;
  const DWORD error = ::GetLastError();
  return error != 0 ? error : static_cast<ErrorCode>(kErrorInvalidWindowHandle);
}

// On an availability task's thread: the notice goes into the state's queue as a copy,
// and the window, found by its handle, is woken for it.
void tellPasswordRefused(void* context, std::u16string_view jobName, UiReply reply, ErrorCode error) {
  try {
    static_cast<AppState*>(context)->refusalNotices.put(RefusalNotice{std::u16string(jobName), reply, error});
  } catch (...) {
    return;  // out of memory: nothing to tell
  }
  if (const HWND window = mainWindowHandle(); window != nullptr) {
    ::PostMessageW(window, kMessageRefusalNotices, 0, 0);
  }
}

void postCommand(void* /*context*/, uint32_t command) {
  const HWND window = mainWindowHandle();
  if (window != nullptr) ::PostMessageW(window, WM_COMMAND, command, 0);
}

}  // namespace

HWND mainWindowHandle() noexcept { return g_mainWindow.load(std::memory_order_acquire); }

void enlargeOnUiThread(void (*routine)(void*) noexcept, void* request) {
  EnlargementCall call{routine, request, false};
  const HWND window = mainWindowHandle();
  if (window != nullptr && ::GetWindowThreadProcessId(window, nullptr) != ::GetCurrentThreadId()) {
    ::SendMessageW(window, kMessageCallOnUiThread, reinterpret_cast<WPARAM>(&callEnlargement),
                   reinterpret_cast<LPARAM>(&call));
  }
  // No window, the window's own thread, or a window destroyed meanwhile: here and now.
  if (!call.called) routine(request);
}

MainWindow::MainWindow(AppState& state, ProfileStore& settings) : state_(state), settings_(settings) {}

MainWindow::~MainWindow() {
  if (handle() != nullptr) ::DestroyWindow(handle());
  g_mainWindow.store(nullptr, std::memory_order_release);
}

bool MainWindow::create() noexcept {
  ::InitCommonControls();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_DATE_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);

  state_.darkMode = readDarkMode(settings_);
  darkMode_.apply(state_.darkMode);

  state_.productName = u"Corvell";
  state_.moduleInstance = ::GetModuleHandleW(nullptr);
  programIcon_.reset(loadIcon(CRVL_ICON_PROGRAM, 32));
  programIconSmall_.reset(loadIcon(CRVL_ICON_PROGRAM, 16));
  // The notification area's icon size: 16 pixels at 96 dots per inch, more above.
  const int traySize = std::max(16, ::GetSystemMetrics(SM_CXSMICON));
  idleIcon_.reset(loadIcon(CRVL_ICON_IDLE, traySize));
  busyIcon_.reset(loadIcon(CRVL_ICON_BUSY, traySize));
  state_.programIcon = programIcon_.get();
  state_.idleIcon = idleIcon_.get();
  state_.busyIcon = busyIcon_.get();

  windowClass_ = registerClass(kMainWindowClass, programIcon_.get(), programIconSmall_.get());
  if (!windowClass_ && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  if (!createWindow(kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW)) return false;
  ::ShowWindow(handle(), SW_HIDE);
  // Plug-ins get the window's handle; their password requests and the account of timed
  // tasks ask through the queue of questions, which this thread answers.
  state_.uiRequests.open(/*context=*/nullptr, &wakeForRequests);
  attachPluginBinding(state_, settings_, queuePrompt(state_.uiRequests), handle());
  return true;
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_CREATE:
      return onCreate();
    case WM_DESTROY:
      return onDestroy();
    case WM_CLOSE:
      return onClose();
    case WM_QUERYENDSESSION:
      // Log-off or shut-down: the settings reach the disk whatever happens next.
      (void)settings_.flushStore();
      return defaultProcessing(message, wParam, lParam);
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure->CtlType == ODT_MENU && painter_.measure(handle(), *measure, menuIcons_)) return TRUE;
      return defaultProcessing(message, wParam, lParam);
    }
    case WM_DRAWITEM: {
      const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (draw->CtlType == ODT_MENU && painter_.draw(*draw, menuIcons_, darkMode_.menusAreDark())) return TRUE;
      return defaultProcessing(message, wParam, lParam);
    }
    case WM_MENUCHAR:
      if (openMenu_ && openMenu_->owns(reinterpret_cast<HMENU>(lParam))) {
        return MenuPainter::menuChar(reinterpret_cast<HMENU>(lParam), static_cast<wchar_t>(LOWORD(wParam)));
      }
      return defaultProcessing(message, wParam, lParam);
    case WM_INITMENUPOPUP:
      return onInitMenuPopup(reinterpret_cast<HMENU>(wParam), HIWORD(lParam) != 0);
    case WM_HELP:
      return onHelp(reinterpret_cast<const HELPINFO*>(lParam));
    case WM_COPYDATA:
      return onCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_COMMAND:
      onCommand(LOWORD(wParam), lParam);
      return 0;
    case kMessageImplementationChanged:
      return 0;
    case kMessageCallOnUiThread:
      return isUiRoutine(wParam) ? reinterpret_cast<UiRoutine>(wParam)(lParam) : 0;
    case kMessageUiRequests:
      serveUiRequests();
      return 0;
    case kMessageRefusalNotices:
      showRefusalNotices();
      return 0;
    case WM_SETTINGCHANGE:
      painter_.reset();  // the menu font may have changed
      return defaultProcessing(message, wParam, lParam);
    case kTrayCallbackMessage:
      return onTrayNotification(static_cast<UINT>(lParam));
    default:
      if (taskbarCreated_ != 0 && message == taskbarCreated_) return onTaskbarCreated();
      return defaultProcessing(message, wParam, lParam);
  }
}

LRESULT MainWindow::onCreate() noexcept {
  g_mainWindow.store(handle(), std::memory_order_release);
  state_.notifications = NotificationSink{this, &postCommand};
  state_.enlargement = &enlargeOnUiThread;
  state_.runEvents.context = &state_;
  state_.runEvents.passwordRefused = &tellPasswordRefused;
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  // A program with a higher integrity level than the shell would not hear it otherwise.
  ::ChangeWindowMessageFilterEx(handle(), taskbarCreated_, MSGFLT_ALLOW, nullptr);

  state_.appOptions.store(readAppOptions(settings_));
  state_.menuIconSize = static_cast<uint16_t>(readMenuIconSize(settings_));
  state_.logFormat = readLogFormat(settings_);
  // Small sizes grow to 16, or to 32 on wide desktops; the dialogs' tool bars use 32.
  uint32_t width = 0, height = 0;
  const bool wide = platform::desktopWorkArea(&width, &height) && width >= 2000;
  if (state_.menuIconSize < 16) state_.menuIconSize = wide ? 32 : 16;
  state_.listIconSize = wide ? 32 : 16;
  state_.toolbarIconSize = 32;

  oleInitialized_ = SUCCEEDED(::OleInitialize(nullptr));
  menuIcons_.load(::GetModuleHandleW(nullptr), state_.menuIconSize);
  // The language was chosen when the cycle began (the provider table names its plug-in
  // root in it).
  ::PostMessageW(handle(), WM_COMMAND, kCmdDeferredStart, 0);
  tray_.add(handle(), idleIcon_.get(), state_.productName);
  return 0;
}

LRESULT MainWindow::onClose() noexcept {
  requestQuit(state_);  // the task threads' waits end at once
  cancelUiRequests();
  stopAllRuns();
  if (state_.runsInProgress.load() != 0) {
    // The runs end at their next check; a later close request closes the program.
    return 0;
  }
  stopAllRuns();
  tray_.remove();
  settings_.putInt(kSettingsSection, "ExpMode", state_.logFormat);
  ::DestroyWindow(handle());
  return 0;
}

LRESULT MainWindow::onDestroy() noexcept {
  cancelUiRequests();
  tray_.remove();
  syncStartWithWindows(settings_, state_.appOptions.load());
  ProgramOptionState options;
  options.appOptions = state_.appOptions.load();
  options.menuIconSize = state_.menuIconSize;
  options.logFormat = state_.logFormat;
  (void)saveSettingsAtExit(settings_, options);
  if (oleInitialized_) ::OleUninitialize();
  oleInitialized_ = false;
  g_mainWindow.store(nullptr, std::memory_order_release);
  ::PostQuitMessage(0);
  return 0;
}

LRESULT MainWindow::onCopyData(const COPYDATASTRUCT* data) noexcept {
  if (data == nullptr) return 0;
  try {
    const std::u16string name = copyDataJobName(data->dwData, data->lpData, data->cbData);
    if (!name.empty()) startByName(name);
  } catch (...) {
    // Out of memory: the name is dropped.
  }
  return 0;
}

LRESULT MainWindow::onInitMenuPopup(HMENU menu, bool systemMenu) noexcept {
  enableTable_.refresh(state_.runsInProgress.load());
  if (openMenu_ && openMenu_->owns(menu)) {
    openMenu_->applyEnableTable(enableTable_, menu);
    if (!systemMenu && (state_.appOptions.load() & kAppNoMenuIcons) == 0) prepareOwnerDrawn(menu);
  }
  return 0;
}

LRESULT MainWindow::onHelp(const HELPINFO* info) noexcept {
  if (info == nullptr) return TRUE;
  // A dialog with a context of its own ("Planed Tasks", "Plan") hands it over.
  const uint32_t context = info->iContextType == HELPINFO_MENUITEM
                               ? menuHelpContext(static_cast<uint16_t>(info->iCtrlId), lastConfigurationPage_)
                           : info->dwContextId != 0 ? static_cast<uint32_t>(info->dwContextId)
                                                    : controlHelpContext(info->iCtrlId);
  openHelp(context);
  return TRUE;
}

LRESULT MainWindow::onTrayNotification(UINT mouseMessage) noexcept {
  if (state_.busyCount.load() != 0) {
    // A dialog is open: it comes to the front, and no menu opens over it.
    bringDialogToFront();
    return 0;
  }
  switch (mouseMessage) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      ::SetForegroundWindow(handle());
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      showTrayMenu();
      break;
    default:
      break;
  }
  return 0;
}

LRESULT MainWindow::onTaskbarCreated() noexcept {
  // The shell started again and lost the icon.
  tray_.readd();
  return 0;
}

void MainWindow::bringDialogToFront() noexcept {
  const HWND dialog = static_cast<HWND>(state_.modalDialog);
  if (dialog == nullptr || !::IsWindow(dialog)) return;
  if (::IsIconic(dialog)) ::ShowWindow(dialog, SW_RESTORE);
  ::ShowWindow(dialog, SW_SHOW);
  ::SetForegroundWindow(dialog);
  ::BringWindowToTop(dialog);
  ::SetActiveWindow(dialog);
}

void MainWindow::showRefusalNotices() noexcept {
  try {
    for (const RefusalNotice& notice : state_.refusalNotices.takeAll()) {
      if (notice.reply == UiReply::kCancelled) continue;  // the program is ending or restarting
      const std::u16string text = refusalNoticeText(notice);
      (void)tray_.showBalloon(state_.productName, text);
      traceNotice(text);
    }
  } catch (...) {
    // Out of memory: the notices are dropped.
  }
}

bool MainWindow::runsInProgress() const noexcept { return state_.runsInProgress.load() != 0; }

}  // namespace crvl::shell
