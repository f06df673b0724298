// The dialog actions of crvl_drive.exe: they act on the top dialog (the frontmost
// visible window of class #32770) and reach its controls by id, by messages only.
// Pointers the target must read or fill (list-view items, date-picker times) live in a
// buffer allocated inside the target process.
//
//   dlg-wait ID [ms]           waits for a dialog that has a control ID; prints its title
//   dlg-gone ID [ms]           waits until no dialog has a control ID
//   dlg-owned ID OWNER         succeeds when the top dialog with a control ID is owned
//                              by a dialog with a control OWNER (prints the owner's title)
//   dlg-title                  prints the top dialog's title
//   dlg-rect                   prints "x y w h" of the top dialog
//   dlg-icon                   prints 1 when the top dialog has an icon of its own
//                              (WM_GETICON, small or big), else 0
//   tool-count                 prints the number of tools of the tooltip windows the
//                              top dialog owns
//   lv-colwidth ID COLUMN      prints a column's width in pixels
//   lv-fits ID COLUMN          prints 1 when every cell of the column fits its width
//                              and the columns up to it fit the list (no scrolling)
//   rect ID                    prints "x y w h" of control ID on the screen
//   click ID                   clicks button ID and waits until the dialog has handled it
//   press ID                   clicks button ID without waiting: for buttons that open
//                              another dialog or a message box
//   command ID                 sends WM_COMMAND ID (BN_CLICKED) to the dialog
//   key KEY                    posts KEY (return, escape, tab, space, left, right, up,
//                              down) to the control with the focus
//   focus ID                   moves the focus to control ID, as the dialog's Tab does
//   checked ID                 prints 0, 1 or 2 (indeterminate)
//   enabled ID | visible ID    prints 0 or 1
//   readonly ID                prints 1 for a read-only edit control, else 0
//   text ID                    prints the control's text
//   set-text ID TEXT           sets the text (the control reports EN_CHANGE)
//   combo ID INDEX             selects item INDEX and sends the CBN_SELCHANGE Wine omits
//   combo-get ID               prints "INDEX TEXT"
//   combo-count ID             prints the number of items
//   lb ID INDEX                selects list-box item INDEX and sends LBN_SELCHANGE
//   lv-count ID                prints the number of rows
//   lv-text ID ROW COLUMN      prints the text of a cell
//   lv-select ID ROW           selects and focuses ROW alone
//   lv-selected ID             prints the selected rows, one a line
//   lv-check ID ROW 0|1        sets a row's check box
//   lv-checked ID ROW          prints 0 or 1
//   lv-dblclick ID ROW         selects ROW and double-clicks it
//   dtp-set ID Y M D h m s     sets a date-time picker
//   dtp-get ID                 prints "Y M D h m s"
//   tab ID INDEX               shows page INDEX of tab control ID (its TCN_SELCHANGE
//                              reaches the dialog)
//   context ID                 posts the dialog a WM_CONTEXTMENU for control ID, as the
//                              keyboard's menu key gives it
//   clipboard TEXT             puts TEXT on the clipboard as Unicode text
//   tb-count ID                prints the number of buttons of tool bar ID
//   tb-enabled ID COMMAND      prints 0 or 1 for the tool bar's button COMMAND
//   tb-click ID COMMAND        presses the button COMMAND of tool bar ID and waits until
//                              the dialog has handled it; tb-press does not wait (for
//                              buttons that open another dialog). Both fail when ID is
//                              no tool bar, has no such button or the button is disabled
//   tb-tip ID COMMAND          prints the tool tip of the tool bar's button COMMAND
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void printWide(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fputc('\n', stdout);
}

bool isVisibleDialog(HWND window) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  return std::wcscmp(name, L"#32770") == 0 && ::IsWindowVisible(window);
}

// The frontmost visible dialog; with `id`, the frontmost that has that control.
HWND topDialog(int id = -1) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  ::EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (!isVisibleDialog(window)) return TRUE;
        if (s->id >= 0 && ::GetDlgItem(window, s->id) == nullptr) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring textOf(HWND window) {
  wchar_t buffer[4096] = {};
  ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
  return buffer;
}

// Waits until the dialog's thread has handled what was posted to it.
void settle(HWND dialog) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

LRESULT sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs = 5000) {
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &result);
  return static_cast<LRESULT>(result);
}

// A buffer inside the process of a window. It is left there: a notification sent with
// a short time-out may still be read after this program has moved on.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, size_t size) : size_(size) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_ != nullptr) base_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (process_ != nullptr) ::CloseHandle(process_);
  }
  [[nodiscard]] bool ok() const { return base_ != nullptr; }
  [[nodiscard]] char* address(size_t offset = 0) const { return static_cast<char*>(base_) + offset; }
  bool write(const void* data, size_t bytes, size_t offset = 0) {
    return ::WriteProcessMemory(process_, address(offset), data, bytes, nullptr) != 0;
  }
  bool read(void* data, size_t bytes, size_t offset = 0) {
    return ::ReadProcessMemory(process_, address(offset), data, bytes, nullptr) != 0;
  }

 private:
  HANDLE process_ = nullptr;
  void* base_ = nullptr;
  size_t size_;
};

int number(wchar_t* text) { return static_cast<int>(std::wcstol(text, nullptr, 10)); }

bool isToolbar(HWND control) {
  wchar_t name[32] = {};
  return control != nullptr && ::GetClassNameW(control, name, 32) > 0 && _wcsicmp(name, TOOLBARCLASSNAMEW) == 0;
}

UINT keyOf(const std::wstring& name) {
  static const struct {
    const wchar_t* name;
    UINT key;
  } kKeys[] = {{L"return", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"tab", VK_TAB}, {L"space", VK_SPACE},
               {L"left", VK_LEFT},     {L"right", VK_RIGHT},   {L"up", VK_UP},   {L"down", VK_DOWN}};
  for (const auto& k : kKeys) {
    if (name == k.name) return k.key;
  }
  return 0;
}

HWND waitDialogWith(int id, DWORD ms, bool gone) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    const HWND dialog = topDialog(id);
    if ((dialog != nullptr) != gone) return gone ? reinterpret_cast<HWND>(1) : dialog;
    if (::GetTickCount64() >= end) return nullptr;
    ::Sleep(50);
  }
}

bool setItemState(HWND list, int row, UINT state, UINT mask) {
  RemoteBuffer remote(list, sizeof(LVITEMW));
  if (!remote.ok()) return false;
  LVITEMW item{};
  item.stateMask = mask;
  item.state = state;
  remote.write(&item, sizeof item);
  return sendTo(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.address())) != 0;
}

}  // namespace

// Returns the exit status of a dialog action, or -1 when `action` is none.
int driveDialog(const std::wstring& action, int argc, wchar_t** argv) {
  auto need = [argc](int n) { return argc >= n; };
  if (action == L"dlg-wait" || action == L"dlg-gone") {
    if (!need(3)) return 2;
    const DWORD ms = argc > 3 ? std::wcstoul(argv[3], nullptr, 10) : 10000;
    const HWND dialog = waitDialogWith(number(argv[2]), ms, action == L"dlg-gone");
    if (dialog == nullptr) return 1;
    if (action == L"dlg-wait") printWide(textOf(dialog));
    return 0;
  }
  if (action == L"dlg-owned") {
    if (!need(4)) return 2;
    const HWND dialog = topDialog(number(argv[2]));
    const HWND owner = dialog != nullptr ? ::GetWindow(dialog, GW_OWNER) : nullptr;
    if (owner == nullptr || !isVisibleDialog(owner) || ::GetDlgItem(owner, number(argv[3])) == nullptr) return 1;
    printWide(textOf(owner));
    return 0;
  }
  if (action == L"clipboard") {
    if (!need(3) || !::OpenClipboard(nullptr)) return 1;
    ::EmptyClipboard();
    const size_t bytes = (std::wcslen(argv[2]) + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(::GlobalLock(memory), argv[2], bytes);
    ::GlobalUnlock(memory);
    const bool ok = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    ::CloseClipboard();
    return ok ? 0 : 1;
  }
  static const wchar_t* const kDialogActions[] = {
      L"dlg-title", L"dlg-rect", L"click", L"press", L"command", L"key", L"checked", L"enabled", L"visible", L"text",
      L"set-text", L"combo", L"combo-get", L"combo-count", L"lb", L"lv-count", L"lv-text", L"lv-select", L"lv-selected",
      L"lv-check", L"lv-checked", L"lv-dblclick", L"dtp-set", L"dtp-get", L"tab", L"context", L"dlg-icon",
      L"tool-count", L"lv-colwidth", L"lv-fits", L"rect", L"readonly", L"focus", L"tb-count", L"tb-enabled",
      L"tb-click", L"tb-press", L"tb-tip"};
  bool known = false;
  for (const wchar_t* name : kDialogActions) known = known || action == name;
  if (!known) return -1;

  const HWND dialog = topDialog();
  if (dialog == nullptr) {
    std::fprintf(stderr, "crvl_drive: no dialog is open\n");
    return 1;
  }
  if (action == L"dlg-title") {
    printWide(textOf(dialog));
    return 0;
  }
  if (action == L"dlg-rect") {
    RECT r{};
    ::GetWindowRect(dialog, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
  }
  if (action == L"dlg-icon") {
    const bool has = ::SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) != 0 ||
                     ::SendMessageW(dialog, WM_GETICON, ICON_BIG, 0) != 0;
    std::printf("%d\n", has ? 1 : 0);
    return 0;
  }
  if (action == L"tool-count") {
    struct Search {
      HWND owner;
      LRESULT tools;
    } search{dialog, 0};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          wchar_t name[32] = {};
          ::GetClassNameW(window, name, 32);
          if (_wcsicmp(name, TOOLTIPS_CLASSW) == 0 && ::GetWindow(window, GW_OWNER) == s->owner) {
            s->tools += ::SendMessageW(window, TTM_GETTOOLCOUNT, 0, 0);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    std::printf("%ld\n", static_cast<long>(search.tools));
    return 0;
  }
  if (action == L"key") {
    if (!need(3)) return 2;
    const UINT key = keyOf(argv[2]);
    if (key == 0) return 2;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info);
    const HWND target = info.hwndFocus != nullptr ? info.hwndFocus : dialog;
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    settle(dialog);
    return 0;
  }
  if (!need(3)) return 2;
  const int id = number(argv[2]);
  const HWND control = ::GetDlgItem(dialog, id);
  if (action == L"command") {
    sendTo(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control), 10000);
    return 0;
  }
  if (control == nullptr) {
    std::fprintf(stderr, "crvl_drive: the dialog has no control %d\n", id);
    return 1;
  }
  if (action == L"rect") {
    RECT r{};
    if (control == nullptr || !::GetWindowRect(control, &r)) return 1;
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
  }
  if (action == L"click") {
    sendTo(control, BM_CLICK, 0, 0, 10000);
    return 0;
  }
  if (action == L"focus") {
    sendTo(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    return 0;
  }
  if (action.rfind(L"tb-", 0) == 0) {
    if (!isToolbar(control)) {
      std::fprintf(stderr, "crvl_drive: control %d is no tool bar\n", id);
      return 1;
    }
    if (action == L"tb-count") {
      std::printf("%d\n", static_cast<int>(sendTo(control, TB_BUTTONCOUNT, 0, 0)));
      return 0;
    }
    if (!need(4)) return 2;
    const auto command = static_cast<WPARAM>(number(argv[3]));
    if (static_cast<int>(sendTo(control, TB_COMMANDTOINDEX, command, 0)) < 0) {
      std::fprintf(stderr, "crvl_drive: tool bar %d has no button %d\n", id, static_cast<int>(command));
      return 1;
    }
    const bool enabled = sendTo(control, TB_ISBUTTONENABLED, command, 0) != 0;
    if (action == L"tb-enabled") {
      std::printf("%d\n", enabled ? 1 : 0);
      return 0;
    }
    if (action == L"tb-tip") {
      const auto tips = reinterpret_cast<HWND>(sendTo(control, TB_GETTOOLTIPS, 0, 0));
      if (tips == nullptr) return 1;
      constexpr size_t kChars = 512;
      RemoteBuffer remote(tips, sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t));
      if (!remote.ok()) return 1;
      TTTOOLINFOW tool{};
      tool.cbSize = sizeof tool;
      tool.hwnd = control;
      tool.uId = command;
      tool.lpszText = reinterpret_cast<wchar_t*>(remote.address(sizeof(TTTOOLINFOW)));
      remote.write(&tool, sizeof tool);
      sendTo(tips, TTM_GETTEXTW, kChars, reinterpret_cast<LPARAM>(remote.address()));
      std::vector<wchar_t> text(kChars, L'\0');
      remote.read(text.data(), kChars * sizeof(wchar_t), sizeof(TTTOOLINFOW));
      text.back() = L'\0';
      printWide(text.data());
      return 0;
    }
    if (!enabled) {
      std::fprintf(stderr, "crvl_drive: button %d of tool bar %d is disabled\n", static_cast<int>(command), id);
      return 1;
    }
    // What the tool bar sends its parent for a click on the button.
    const WPARAM click = MAKEWPARAM(static_cast<WORD>(command), BN_CLICKED);
    if (action == L"tb-click") {
      sendTo(::GetParent(control), WM_COMMAND, click, reinterpret_cast<LPARAM>(control), 10000);
    } else {
      ::PostMessageW(::GetParent(control), WM_COMMAND, click, reinterpret_cast<LPARAM>(control));
    }
    return 0;
  }
  if (action == L"tab") {
    if (!need(4)) return 2;
    sendTo(control, TCM_SETCURFOCUS, static_cast<WPARAM>(number(argv[3])), 0, 10000);
    settle(dialog);
    return 0;
  }
  if (action == L"context") {
    ::PostMessageW(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), -1);
    return 0;
  }
  if (action == L"press") {
    ::PostMessageW(control, BM_CLICK, 0, 0);
    return 0;
  }
  if (action == L"checked") {
    std::printf("%d\n", static_cast<int>(sendTo(control, BM_GETCHECK, 0, 0)));
    return 0;
  }
  if (action == L"enabled" || action == L"visible" || action == L"readonly") {
    const bool on = action == L"enabled"   ? ::IsWindowEnabled(control) != FALSE
                    : action == L"visible" ? ::IsWindowVisible(control) != FALSE
                                           : (::GetWindowLongW(control, GWL_STYLE) & ES_READONLY) != 0;
    std::printf("%d\n", on ? 1 : 0);
    return 0;
  }
  if (action == L"text") {
    printWide(textOf(control));
    return 0;
  }
  if (action == L"set-text") {
    if (!need(4)) return 2;
    sendTo(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
    settle(dialog);
    return 0;
  }
  if (action == L"combo") {
    if (!need(4)) return 2;
    sendTo(control, CB_SETCURSEL, static_cast<WPARAM>(number(argv[3])), 0);
    sendTo(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control), 10000);
    return 0;
  }
  if (action == L"lb") {
    if (!need(4)) return 2;
    sendTo(control, LB_SETCURSEL, static_cast<WPARAM>(number(argv[3])), 0);
    sendTo(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(control), 10000);
    return 0;
  }
  if (action == L"combo-get") {
    const auto index = static_cast<int>(sendTo(control, CB_GETCURSEL, 0, 0));
    wchar_t text[1024] = {};
    if (index >= 0) sendTo(control, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    std::printf("%d ", index);
    printWide(text);
    return 0;
  }
  if (action == L"combo-count") {
    std::printf("%d\n", static_cast<int>(sendTo(control, CB_GETCOUNT, 0, 0)));
    return 0;
  }
  if (action == L"lv-count") {
    std::printf("%d\n", static_cast<int>(sendTo(control, LVM_GETITEMCOUNT, 0, 0)));
    return 0;
  }
  if (action == L"lv-selected") {
    int row = -1;
    while ((row = static_cast<int>(sendTo(control, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))) >= 0) {
      std::printf("%d\n", row);
    }
    return 0;
  }
  if (action == L"dtp-get") {
    RemoteBuffer remote(control, sizeof(SYSTEMTIME));
    if (!remote.ok()) return 1;
    sendTo(control, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(remote.address()));
    SYSTEMTIME t{};
    remote.read(&t, sizeof t);
    std::printf("%u %u %u %u %u %u\n", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return 0;
  }
  if (!need(4)) return 2;
  const int row = number(argv[3]);
  if (action == L"lv-colwidth") {
    std::printf("%ld\n", static_cast<long>(sendTo(control, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(row), 0)));
    return 0;
  }
  if (action == L"lv-fits") {
    // Each cell's text measured by the list itself, with the margins a report cell keeps.
    const int column = row;
    const LRESULT width = sendTo(control, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0);
    const LRESULT rows = sendTo(control, LVM_GETITEMCOUNT, 0, 0);
    constexpr size_t kChars = 2048;
    RemoteBuffer remote(control, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    if (!remote.ok()) return 1;
    bool fits = true;
    for (LRESULT r = 0; r < rows; ++r) {
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = reinterpret_cast<wchar_t*>(remote.address(sizeof(LVITEMW)));
      item.cchTextMax = kChars;
      remote.write(&item, sizeof item);
      sendTo(control, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(remote.address()));
      const LRESULT needed =
          sendTo(control, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(remote.address(sizeof(LVITEMW))));
      if (needed + 12 > width) fits = false;
    }
    LRESULT right = 0;
    for (int c = 0; c <= column; ++c) right += sendTo(control, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0);
    RECT client{};
    ::GetClientRect(control, &client);
    if (right > client.right) fits = false;
    std::printf("%d\n", fits ? 1 : 0);
    return 0;
  }
  if (action == L"lv-text") {
    if (!need(5)) return 2;
    constexpr size_t kChars = 2048;
    RemoteBuffer remote(control, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    if (!remote.ok()) return 1;
    LVITEMW item{};
    item.iSubItem = number(argv[4]);
    item.pszText = reinterpret_cast<wchar_t*>(remote.address(sizeof(LVITEMW)));
    item.cchTextMax = kChars;
    remote.write(&item, sizeof item);
    sendTo(control, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.address()));
    std::vector<wchar_t> text(kChars, L'\0');
    remote.read(text.data(), kChars * sizeof(wchar_t), sizeof(LVITEMW));
    text.back() = L'\0';
    printWide(text.data());
    return 0;
  }
  if (action == L"lv-select" || action == L"lv-dblclick") {
    setItemState(control, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (!setItemState(control, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED)) return 1;
    settle(dialog);
    if (action == L"lv-dblclick") {
      // Wine does not carry WM_NOTIFY between processes: the list gets the double click
      // itself, in the middle of the row, and notifies its dialog.
      RemoteBuffer remote(control, sizeof(RECT));
      if (!remote.ok()) return 1;
      RECT r{};
      r.left = LVIR_BOUNDS;
      remote.write(&r, sizeof r);
      sendTo(control, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.address()));
      remote.read(&r, sizeof r);
      const LPARAM at = MAKELPARAM((r.left + r.right) / 4, (r.top + r.bottom) / 2);
      // Sent, so that the dialog has acted on it when this returns; a double click that
      // opens another dialog answers only when that one closes: not waited for long.
      sendTo(control, WM_LBUTTONDBLCLK, MK_LBUTTON, at, 1000);
      ::PostMessageW(control, WM_LBUTTONUP, 0, at);
    }
    return 0;
  }
  if (action == L"lv-check") {
    if (!need(5)) return 2;
    const UINT state = INDEXTOSTATEIMAGEMASK(number(argv[4]) != 0 ? 2 : 1);
    const bool ok = setItemState(control, row, state, LVIS_STATEIMAGEMASK);
    settle(dialog);
    return ok ? 0 : 1;
  }
  if (action == L"lv-checked") {
    const auto state = static_cast<UINT>(sendTo(control, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    std::printf("%d\n", ((state >> 12) == 2) ? 1 : 0);
    return 0;
  }
  if (action == L"dtp-set") {
    if (!need(8)) return 2;
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(number(argv[3]));
    t.wMonth = static_cast<WORD>(number(argv[4]));
    t.wDay = static_cast<WORD>(number(argv[5]));
    t.wHour = static_cast<WORD>(number(argv[6]));
    t.wMinute = static_cast<WORD>(number(argv[7]));
    t.wSecond = argc > 8 ? static_cast<WORD>(number(argv[8])) : 0;
    RemoteBuffer remote(control, sizeof(SYSTEMTIME));
    if (!remote.ok()) return 1;
    remote.write(&t, sizeof t);
    return sendTo(control, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(remote.address())) != 0 ? 0 : 1;
  }
  return 2;
}
