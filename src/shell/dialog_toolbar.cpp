#include "shell/dialog_toolbar.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "language/language_table.h"

namespace crvl::shell {
namespace {

constexpr UINT_PTR kKeyboardSubclass = 1;

[[nodiscard]] bool isToolbar(HWND window) noexcept {
  wchar_t name[32] = {};
  return window != nullptr && ::GetClassNameW(window, name, 32) > 0 && _wcsicmp(name, TOOLBARCLASSNAMEW) == 0;
}

[[nodiscard]] int buttonCount(HWND bar) noexcept { return static_cast<int>(::SendMessageW(bar, TB_BUTTONCOUNT, 0, 0)); }

// The command of the button at `index` when it can be pressed, else 0.
[[nodiscard]] int pressableCommand(HWND bar, int index) noexcept {
  TBBUTTON button{};
  if (index < 0 || !::SendMessageW(bar, TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button))) {
    return 0;
  }
  if ((button.fsStyle & BTNS_SEP) != 0 || (button.fsState & TBSTATE_ENABLED) == 0) return 0;
  return button.idCommand;
}

// Marks the next enabled button from the marked one in direction `step` (+1 or -1),
// wrapping at the ends; from none, the first (or last) enabled one.
void moveMark(HWND bar, int step) noexcept {
  const int count = buttonCount(bar);
  const int hot = static_cast<int>(::SendMessageW(bar, TB_GETHOTITEM, 0, 0));
  for (int n = 1; n <= count; ++n) {
    const int index = hot < 0 ? (step > 0 ? n - 1 : count - n) : ((hot + step * n) % count + count) % count;
    if (pressableCommand(bar, index) != 0) {
      ::SendMessageW(bar, TB_SETHOTITEM, static_cast<WPARAM>(index), 0);
      return;
    }
  }
}

// The marked button's command goes to the parent as its click would: posted, so that a
// button opening another dialog does not run it inside the key's handling.
void pressMarked(HWND bar) noexcept {
  const int command = pressableCommand(bar, static_cast<int>(::SendMessageW(bar, TB_GETHOTITEM, 0, 0)));
  if (command != 0) {
    ::PostMessageW(::GetParent(bar), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(bar));
  }
}

// A tool bar button has no access key (the dialog's keys reach windows, not buttons
// of a tool bar): its "&" would underline a letter that does nothing. "&&" stays, the
// tool bar shows it as one "&".
[[nodiscard]] std::u16string withoutAccessKey(const std::u16string& text) {
  std::u16string label;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'&') {
      label += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == u'&') {
      label += u"&&";
      ++i;
    }
  }
  return label;
}

[[nodiscard]] bool isPressKey(WPARAM key) noexcept { return key == VK_RETURN || key == VK_SPACE; }

LRESULT CALLBACK keyboardProcedure(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                   DWORD_PTR /*data*/) noexcept {
  switch (message) {
    case WM_GETDLGCODE: {
      // The arrows stay here; Enter and Space press a button instead of the default one.
      LRESULT code = ::DefSubclassProc(bar, message, wParam, lParam) | DLGC_WANTARROWS;
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key != nullptr && key->message == WM_KEYDOWN && isPressKey(key->wParam)) code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_KEYDOWN:
      if (wParam == VK_LEFT || wParam == VK_UP || wParam == VK_RIGHT || wParam == VK_DOWN) {
        moveMark(bar, wParam == VK_LEFT || wParam == VK_UP ? -1 : 1);
        return 0;
      }
      if (isPressKey(wParam)) {
        pressMarked(bar);
        return 0;
      }
      break;
    case WM_CHAR:
      if (isPressKey(wParam)) return 0;  // handled as a key press: no beep
      break;
    case WM_SETFOCUS:
      if (pressableCommand(bar, static_cast<int>(::SendMessageW(bar, TB_GETHOTITEM, 0, 0))) == 0) moveMark(bar, 1);
      break;
    case WM_KILLFOCUS:
      ::SendMessageW(bar, TB_SETHOTITEM, static_cast<WPARAM>(-1), 0);
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(bar, &keyboardProcedure, kKeyboardSubclass);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(bar, message, wParam, lParam);
}

}  // namespace

bool fillDialogToolbar(HWND dialog, int toolbarId, std::initializer_list<uint16_t> commands, int minWidthDlu) {
  const HWND bar = ::GetDlgItem(dialog, toolbarId);
  if (!isToolbar(bar)) return false;
  ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));  // text buttons, no room for images
  RECT minimum{0, 0, minWidthDlu, 0};
  ::MapDialogRect(dialog, &minimum);
  RECT client{};
  ::GetClientRect(bar, &client);
  ::SendMessageW(bar, TB_SETBUTTONSIZE, 0, MAKELPARAM(minimum.right, client.bottom));
  ::SendMessageW(bar, TB_SETBUTTONWIDTH, 0, MAKELPARAM(minimum.right, client.right));

  // The texts as one list, each ended by a zero, the list by a second zero.
  std::u16string texts;
  for (uint16_t command : commands) {
    texts += withoutAccessKey(uiText(command));
    texts += u'\0';
  }
  texts += u'\0';
  const auto first = static_cast<INT_PTR>(::SendMessageW(bar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(texts.data())));
  if (first < 0) return false;
  std::vector<TBBUTTON> buttons;
  for (uint16_t command : commands) {
    TBBUTTON button{};
    button.iBitmap = I_IMAGENONE;
    button.idCommand = command;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
    button.iString = first + static_cast<INT_PTR>(buttons.size());
    buttons.push_back(button);
  }
  if (!::SendMessageW(bar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()))) return false;
  return ::SetWindowSubclass(bar, &keyboardProcedure, kKeyboardSubclass, 0) != FALSE;
}

void enableToolbarButton(HWND dialog, int toolbarId, int command, bool enabled) noexcept {
  const HWND bar = ::GetDlgItem(dialog, toolbarId);
  if (bar == nullptr) return;
  ::SendMessageW(bar, TB_ENABLEBUTTON, static_cast<WPARAM>(command), MAKELPARAM(enabled ? TRUE : FALSE, 0));
  // A marked button that can no longer be pressed gives the mark to the next one.
  if (!enabled && ::GetFocus() == bar &&
      pressableCommand(bar, static_cast<int>(::SendMessageW(bar, TB_GETHOTITEM, 0, 0))) == 0) {
    moveMark(bar, 1);
  }
}

bool answerToolbarTip(const NMHDR* header) noexcept {
  if (header == nullptr || header->code != TBN_GETINFOTIPW || !isToolbar(header->hwndFrom)) return false;
  const auto* tip = reinterpret_cast<const NMTBGETINFOTIPW*>(header);
  if (tip->pszText == nullptr || tip->cchTextMax <= 0) return false;
  try {
    const std::u16string text = tooltipText(static_cast<uint16_t>(tip->iItem));
    const size_t length = std::min(text.size(), static_cast<size_t>(tip->cchTextMax - 1));
    std::wmemcpy(tip->pszText, reinterpret_cast<const wchar_t*>(text.data()), length);
    tip->pszText[length] = L'\0';
    return true;
  } catch (...) {
    return false;  // out of memory: no tip
  }
}

}  // namespace crvl::shell
