#include "shell/tray_icon.h"

#include <algorithm>
#include <cwchar>

namespace crvl::shell {

// The full structure of this system's headers (with the balloon icon): the shell reads
// the version from the size.
static_assert(sizeof(NOTIFYICONDATAW) == 976, "full-size NOTIFYICONDATAW on x64");

NOTIFYICONDATAW TrayIcon::data(UINT flags) const noexcept {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = owner_;
  nid.uID = 0;
  nid.uFlags = flags;
  nid.uCallbackMessage = kTrayCallbackMessage;
  nid.hIcon = icon_;
  const size_t n = std::min<size_t>(tip_.size(), std::size(nid.szTip) - 1);
  std::wmemcpy(nid.szTip, reinterpret_cast<const wchar_t*>(tip_.data()), n);
  nid.szTip[n] = L'\0';
  return nid;
}

bool TrayIcon::add(HWND owner, HICON icon, std::u16string_view tip) noexcept {
  owner_ = owner;
  icon_ = icon;
  tip_.assign(tip.substr(0, 127));
  NOTIFYICONDATAW nid = data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  shown_ = ::Shell_NotifyIconW(NIM_ADD, &nid) != FALSE;
  return shown_;
}

bool TrayIcon::showBalloon(std::u16string_view title, std::u16string_view text) noexcept {
  if (owner_ == nullptr) return false;
  NOTIFYICONDATAW nid = data(NIF_INFO);
  const size_t titleChars = std::min<size_t>(title.size(), std::size(nid.szInfoTitle) - 1);
  std::wmemcpy(nid.szInfoTitle, reinterpret_cast<const wchar_t*>(title.data()), titleChars);
  nid.szInfoTitle[titleChars] = L'\0';
  const size_t textChars = std::min<size_t>(text.size(), std::size(nid.szInfo) - 1);
  std::wmemcpy(nid.szInfo, reinterpret_cast<const wchar_t*>(text.data()), textChars);
  nid.szInfo[textChars] = L'\0';
  nid.dwInfoFlags = NIIF_WARNING;
  return ::Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

bool TrayIcon::setIcon(HICON icon) noexcept {
  icon_ = icon;
  if (owner_ == nullptr) return false;
  NOTIFYICONDATAW nid = data(NIF_ICON);
  return ::Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

void TrayIcon::remove() noexcept {
  if (owner_ == nullptr) return;
  NOTIFYICONDATAW nid = data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  ::Shell_NotifyIconW(NIM_DELETE, &nid);
  shown_ = false;
  owner_ = nullptr;
}

bool TrayIcon::readd() noexcept {
  if (owner_ == nullptr) return false;
  NOTIFYICONDATAW nid = data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  // The restarted shell may still know the icon: then a modify brings it in line.
  shown_ = ::Shell_NotifyIconW(NIM_ADD, &nid) != FALSE || ::Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
  return shown_;
}

}  // namespace crvl::shell
