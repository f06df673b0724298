// The hidden main window of the tray program: an ordinary top-level window of class
// "CRVL" titled "Corvell" (never shown; a message-only window would be missed by the
// single-instance search, by broadcasts and by the end of the session). It owns the
// tray icon and the menus and carries out the commands of the menus.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/win32/handles.h"
#include "shell/dark_mode.h"
#include "shell/menu_commands.h"
#include "shell/popup_menu.h"
#include "shell/tray_icon.h"
#include "shell/window_class.h"

struct CrvlLanguageResources;

namespace crvl {
struct AppState;
struct PasswordRequest;
class ProfileStore;
}

namespace crvl::shell {

inline constexpr wchar_t kMainWindowClass[] = L"CRVL";
inline constexpr wchar_t kMainWindowTitle[] = L"Corvell";

// Sent by the file-system layer when an object changes its implementation: no action.
inline constexpr UINT kMessageImplementationChanged = WM_USER + 7;
// Runs a routine on the user-interface thread: wParam is a UiRoutine, lParam its
// argument; the answer is the routine's. Worker threads send it (never post it). Only
// the routines of this program are called: another program's message cannot make
// this one jump to an address of its choosing (the answer is then 0).
inline constexpr UINT kMessageCallOnUiThread = WM_USER + 8;
using UiRoutine = LRESULT (*)(LPARAM argument) noexcept;
// Wakes the user-interface thread for the questions waiting in AppState::uiRequests
// (no parameters: the requests travel through the queue, never in the message).
inline constexpr UINT kMessageUiRequests = WM_USER + 9;
// Wakes the user-interface thread for the notices waiting in AppState::refusalNotices
// (no parameters, as kMessageUiRequests).
inline constexpr UINT kMessageRefusalNotices = WM_USER + 10;

// The main window of the current cycle, or null; any thread may read it.
[[nodiscard]] HWND mainWindowHandle() noexcept;

// Where the runs' record lists are enlarged: on the user-interface thread through
// kMessageCallOnUiThread; in place when there is no main window (any more) or the
// caller is the user-interface thread.
void enlargeOnUiThread(void (*routine)(void*) noexcept, void* request);

class MainWindow : public Window<MainWindow> {
 public:
  MainWindow(AppState& state, ProfileStore& settings);
  ~MainWindow();

  // Registers the class, loads the icons and creates the hidden window. Returns
  // whether the window exists.
  [[nodiscard]] bool create() noexcept;

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;

 private:
  // Messages.
  LRESULT onCreate() noexcept;
  LRESULT onClose() noexcept;
  LRESULT onDestroy() noexcept;
  LRESULT onCopyData(const COPYDATASTRUCT* data) noexcept;
  LRESULT onInitMenuPopup(HMENU menu, bool systemMenu) noexcept;
  LRESULT onHelp(const HELPINFO* info) noexcept;
  LRESULT onTrayNotification(UINT mouseMessage) noexcept;
  LRESULT onTaskbarCreated() noexcept;

  // Commands (main_commands.cpp).
  void onCommand(uint16_t command, LPARAM jobNumber) noexcept;
  void deferredStart() noexcept;
  void refreshTrayIcon() noexcept;
  void showTrayMenu() noexcept;
  void stopAllRuns() noexcept;
  // Starts through the scheduler; a start that fails (no thread, no memory) is dropped.
  void startTasks() noexcept;
  void startByName(const std::u16string& name) noexcept;
  void startRun(int32_t jobNumber, bool execute) noexcept;
  void chooseDarkMode(uint32_t choice) noexcept;
  void backupSettingsCommand() noexcept;
  void restoreSettingsCommand() noexcept;
  void openHelp(uint32_t context) noexcept;
  void openProgramPage(const wchar_t* section) noexcept;
  void viewJobLog(int32_t jobNumber) noexcept;
  // Hands the time-controlled tasks to the system's scheduler, with the account's
  // password remembered from an earlier export or asked for now.
  void exportTasks() noexcept;
  // Answers the questions waiting in AppState::uiRequests, one at a time: from the
  // remembered password, else in the password dialog over the open modal dialog (or
  // the window); "cancelled" while the program ends. Not while a menu is open or a
  // question is shown already: those are answered after it.
  void serveUiRequests() noexcept;
  void serveUiRequest(const std::shared_ptr<PasswordRequest>& request) noexcept;
  // Tells each notice waiting in AppState::refusalNotices in a tray balloon (and the
  // trace), except those of a program that is ending.
  void showRefusalNotices() noexcept;
  // Ends the questions: every open one is answered "cancelled", a shown prompt closes.
  void cancelUiRequests() noexcept;
  // Opens a dialog with busyCount held; false when it was not opened or not confirmed.
  template <typename Show>
  bool withDialog(Show show) noexcept;
  [[nodiscard]] bool runsInProgress() const noexcept;
  void bringDialogToFront() noexcept;

  AppState& state_;
  ProfileStore& settings_;
  TrayIcon tray_;
  MenuIcons menuIcons_;
  MenuPainter painter_;
  DarkMode darkMode_;
  CommandEnableTable enableTable_;
  std::unique_ptr<PopupMenu> openMenu_;
  platform::UniqueIcon programIcon_;
  platform::UniqueIcon programIconSmall_;
  platform::UniqueIcon idleIcon_;
  platform::UniqueIcon busyIcon_;
  platform::UniqueWindowClass windowClass_;  // goes before the icons it names
  UINT taskbarCreated_ = 0;
  int lastConfigurationPage_ = -1;
  bool oleInitialized_ = false;
  bool servingRequests_ = false;  // a question is being answered (its prompt may be open)
};

}  // namespace crvl::shell
