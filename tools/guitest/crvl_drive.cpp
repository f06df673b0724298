// crvl_drive.exe: drives the running tray program by messages for the GUI tests, the
// way a person's clicks would reach it, and reports what it finds. One action per
// call; exit status 0 on success, 1 when the action failed or timed out, 2 for usage.
//
//   wait-window [ms]             waits for the main window (class "CRVL"); prints it
//   wait-gone [ms]               waits until no main window is left
//   send ID [LPARAM]             sends WM_COMMAND ID with LPARAM; returns when handled
//   post ID [LPARAM]             posts WM_COMMAND ID with LPARAM
//   close                        posts WM_CLOSE
//   copydata DWDATA TEXT         sends WM_COPYDATA: DWDATA 0/1 carry TEXT as ANSI
//                                bytes, others as UTF-16 with its zero; prints the answer
//   taskbar-created              broadcasts "TaskbarCreated" as a restarted shell does
//   remove-icon                  removes the program's tray icon, as a shell crash would
//   query-end-session            sends WM_QUERYENDSESSION (log-off); prints the answer
//   message MSG WPARAM LPARAM    sends any message (numbers); prints the answer
//   menu-wait [ms]               waits for an open popup menu
//   menu-rects                   prints "x y w h" of every visible popup menu window
//   menu-keys KEY...             posts keys to the open menu: down, up, left, right,
//                                return, escape, or a letter; "down*3" repeats
//   menu-gone [ms]               waits until no popup menu is open
//   file-dialog PATH [ms]        waits for a file dialog, types PATH as the file name
//                                and confirms it
//   dialog-wait [ms]             waits for a visible dialog (class #32770)
//   dialog-cancel [ms]           waits for a dialog and cancels it
//   foreground                   prints the class of the foreground window
//   wait-class CLASS [ms]        waits for a visible top-level window of CLASS; prints
//                                its title
//   close-class CLASS            posts WM_CLOSE to the first window of CLASS
// and the dialog actions of drive_dialogs.cpp.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

int driveDialog(const std::wstring& action, int argc, wchar_t** argv);

namespace {

constexpr wchar_t kMainClass[] = L"CRVL";
constexpr wchar_t kMenuClass[] = L"#32768";

DWORD argumentMs(int argc, wchar_t** argv, int index, DWORD fallback) {
  return argc > index ? static_cast<DWORD>(std::wcstoul(argv[index], nullptr, 10)) : fallback;
}

HWND waitFor(const wchar_t* className, DWORD ms) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    HWND window = ::FindWindowW(className, nullptr);
    if (window != nullptr && (className == kMainClass || ::IsWindowVisible(window))) return window;
    if (::GetTickCount64() >= end) return nullptr;
    ::Sleep(50);
  }
}

bool waitGone(const wchar_t* className, DWORD ms) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    HWND window = ::FindWindowW(className, nullptr);
    if (window == nullptr || (className == kMenuClass && !::IsWindowVisible(window))) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(50);
  }
}

HWND mainWindow() {
  HWND window = ::FindWindowW(kMainClass, nullptr);
  if (window == nullptr) std::fprintf(stderr, "crvl_drive: no window of class CRVL\n");
  return window;
}

BOOL CALLBACK printMenuRect(HWND window, LPARAM) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (std::wcscmp(name, kMenuClass) == 0 && ::IsWindowVisible(window)) {
    RECT r{};
    ::GetWindowRect(window, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  return TRUE;
}

// The menu window that handles keys: the last visible one (the deepest submenu).
HWND activeMenu() {
  HWND found = nullptr;
  ::EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        wchar_t name[16] = {};
        ::GetClassNameW(window, name, 16);
        if (std::wcscmp(name, kMenuClass) == 0 && ::IsWindowVisible(window)) {
          *reinterpret_cast<HWND*>(data) = window;
          return FALSE;  // windows come front to back: the first is the newest
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

UINT keyCode(const std::wstring& key) {
  if (key == L"down") return VK_DOWN;
  if (key == L"up") return VK_UP;
  if (key == L"left") return VK_LEFT;
  if (key == L"right") return VK_RIGHT;
  if (key == L"return") return VK_RETURN;
  if (key == L"escape") return VK_ESCAPE;
  if (key.size() == 1) return static_cast<UINT>(::towupper(key[0]));
  return 0;
}

int usage() {
  std::fprintf(stderr, "crvl_drive: unknown or incomplete action (see the source for the list)\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return usage();
  const std::wstring action = argv[1];
  if (const int status = driveDialog(action, argc, argv); status >= 0) return status;
  if (action == L"wait-window") {
    HWND window = waitFor(kMainClass, argumentMs(argc, argv, 2, 20000));
    if (window == nullptr) return 1;
    std::printf("%p\n", static_cast<void*>(window));
    return 0;
  }
  if (action == L"wait-gone") return waitGone(kMainClass, argumentMs(argc, argv, 2, 20000)) ? 0 : 1;
  if (action == L"menu-wait") return waitFor(kMenuClass, argumentMs(argc, argv, 2, 10000)) != nullptr ? 0 : 1;
  if (action == L"menu-gone") return waitGone(kMenuClass, argumentMs(argc, argv, 2, 10000)) ? 0 : 1;
  if (action == L"file-dialog") {
    if (argc < 3) return usage();
    const HWND dialog = waitFor(L"#32770", argumentMs(argc, argv, 3, 10000));
    if (dialog == nullptr) return 1;
    // The file name box: the combo box of the explorer form, else the plain edit.
    HWND name = ::GetDlgItem(dialog, 0x47C);
    if (name == nullptr) name = ::GetDlgItem(dialog, 0x480);
    if (name == nullptr) return 1;
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
    return 0;
  }
  if (action == L"dialog-wait") return waitFor(L"#32770", argumentMs(argc, argv, 2, 10000)) != nullptr ? 0 : 1;
  if (action == L"dialog-cancel") {
    const HWND dialog = waitFor(L"#32770", argumentMs(argc, argv, 2, 10000));
    if (dialog == nullptr) return 1;
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDCANCEL)));
    return 0;
  }
  if (action == L"wait-class" || action == L"close-class") {
    if (argc < 3) return usage();
    if (action == L"close-class") {
      const HWND window = ::FindWindowW(argv[2], nullptr);
      return window != nullptr && ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    const HWND window = waitFor(argv[2], argumentMs(argc, argv, 3, 10000));
    if (window == nullptr) return 1;
    wchar_t title[512] = {};
    ::GetWindowTextW(window, title, 512);
    std::printf("%ls\n", title);
    return 0;
  }
  if (action == L"foreground") {
    wchar_t name[64] = {};
    const HWND window = ::GetForegroundWindow();
    if (window != nullptr) ::GetClassNameW(window, name, 64);
    std::printf("%ls\n", name);
    return 0;
  }
  if (action == L"menu-rects") {
    ::EnumWindows(printMenuRect, 0);
    return 0;
  }
  if (action == L"taskbar-created") {
    const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    return 0;
  }
  if (action == L"menu-keys") {
    for (int i = 2; i < argc; ++i) {
      std::wstring key = argv[i];
      int repeat = 1;
      if (const size_t star = key.find(L'*'); star != std::wstring::npos) {
        repeat = std::max(1, _wtoi(key.c_str() + star + 1));
        key.resize(star);
      }
      const UINT code = keyCode(key);
      if (code == 0) return usage();
      for (int n = 0; n < repeat; ++n) {
        HWND menu = activeMenu();
        if (menu == nullptr) {
          std::fprintf(stderr, "crvl_drive: no menu is open\n");
          return 1;
        }
        ::PostMessageW(menu, WM_KEYDOWN, code, 0);
        ::PostMessageW(menu, WM_KEYUP, code, 0xC0000000);
        ::Sleep(120);  // the menu opens a submenu or moves before the next key
      }
    }
    return 0;
  }

  HWND window = mainWindow();
  if (window == nullptr) return 1;
  if (action == L"send" || action == L"post") {
    if (argc < 3) return usage();
    const WPARAM id = std::wcstoul(argv[2], nullptr, 10);
    const LPARAM lParam = argc > 3 ? static_cast<LPARAM>(std::wcstol(argv[3], nullptr, 10)) : 0;
    if (action == L"post") return ::PostMessageW(window, WM_COMMAND, id, lParam) ? 0 : 1;
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(window, WM_COMMAND, id, lParam, SMTO_ABORTIFHUNG, 10000, &result) ? 0 : 1;
  }
  if (action == L"close") return ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
  if (action == L"copydata") {
    if (argc < 4) return usage();
    const ULONG_PTR kind = std::wcstoul(argv[2], nullptr, 10);
    std::vector<char> bytes;
    const std::wstring text = argv[3];
    if (kind == 0 || kind == 1) {
      const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
      bytes.resize(static_cast<size_t>(n));
      ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes.data(), n, nullptr, nullptr);
    } else {
      const char* p = reinterpret_cast<const char*>(text.c_str());
      bytes.assign(p, p + (text.size() + 1) * sizeof(wchar_t));
    }
    COPYDATASTRUCT data{kind, static_cast<DWORD>(bytes.size()), bytes.data()};
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10000,
                               &result)) {
      return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(result));
    return 0;
  }
  if (action == L"message") {
    if (argc < 5) return usage();
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, static_cast<UINT>(std::wcstoul(argv[2], nullptr, 0)),
                               static_cast<WPARAM>(std::wcstoull(argv[3], nullptr, 0)),
                               static_cast<LPARAM>(std::wcstoll(argv[4], nullptr, 0)), SMTO_ABORTIFHUNG, 10000,
                               &result)) {
      return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(result));
    return 0;
  }
  if (action == L"query-end-session") {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &result)) {
      return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(result));
    return 0;
  }
  if (action == L"remove-icon") {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = 0;
    return ::Shell_NotifyIconW(NIM_DELETE, &nid) ? 0 : 1;
  }
  return usage();
}
