// The program's icon in the notification area: added with the idle icon and the
// product name as its tip, switched between idle and busy, added again when the
// system's shell restarts (the "TaskbarCreated" broadcast), removed at the end.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace crvl::shell {

// The callback message of the icon (WM_APP + 100); lParam is the mouse message.
inline constexpr UINT kTrayCallbackMessage = WM_APP + 100;

class TrayIcon {
 public:
  TrayIcon() = default;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon() { remove(); }

  // NIM_ADD with the callback message, `icon` and the tip (at most 127 characters).
  // Returns whether the shell took it.
  bool add(HWND owner, HICON icon, std::u16string_view tip) noexcept;
  // NIM_MODIFY of the icon; the icon is remembered for a later re-add either way.
  bool setIcon(HICON icon) noexcept;
  // A balloon notification over the icon (NIF_INFO, warning icon): `title` cut to 63
  // characters, `text` to 255. Returns whether the shell took it.
  bool showBalloon(std::u16string_view title, std::u16string_view text) noexcept;
  // NIM_DELETE; nothing when the icon is not there.
  void remove() noexcept;
  // Adds the icon again as it was last set (after the shell restarted and lost it).
  bool readd() noexcept;

  [[nodiscard]] bool shown() const noexcept { return shown_; }
  [[nodiscard]] HICON icon() const noexcept { return icon_; }

 private:
  [[nodiscard]] NOTIFYICONDATAW data(UINT flags) const noexcept;

  HWND owner_ = nullptr;
  HICON icon_ = nullptr;
  std::u16string tip_;
  bool shown_ = false;
};

}  // namespace crvl::shell
