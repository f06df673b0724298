// Windows menus made from the tray menu's items (tray_menu.h), and their owner-drawn
// look: each item with its icon at the menu icon size, drawn by the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "shell/menu_commands.h"
#include "shell/tray_menu.h"

namespace crvl::shell {

// A popup menu with its submenus and the items they show. The items stay in place for
// the menu's life: each menu item's data points at its MenuItem.
class PopupMenu {
 public:
  PopupMenu() = default;
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  // Makes the menu from items whose texts are resolved. Returns 0 or the error of the
  // first item that could not be inserted.
  [[nodiscard]] DWORD create(std::vector<MenuItem> items) noexcept;
  [[nodiscard]] HMENU handle() const noexcept { return menu_.get(); }
  // Whether `menu` is this menu or one of its submenus.
  [[nodiscard]] bool owns(HMENU menu) const noexcept;
  // Greys or enables the listed commands in `menu` (the whole tree when null).
  void applyEnableTable(const CommandEnableTable& table, HMENU menu = nullptr) const noexcept;

 private:
  DWORD fill(HMENU menu, std::vector<MenuItem>& items) noexcept;

  std::vector<MenuItem> items_;
  platform::UniqueMenu menu_;
  std::vector<HMENU> menus_;  // this menu and every submenu
};

// The menu icons, loaded from the program's resources at one size.
class MenuIcons {
 public:
  // Loads every menu icon at `size` pixels, replacing those loaded before.
  void load(HINSTANCE instance, int size) noexcept;
  [[nodiscard]] HICON icon(uint16_t itemId) const noexcept;
  [[nodiscard]] int size() const noexcept { return size_; }

 private:
  std::map<uint16_t, platform::UniqueIcon> icons_;
  int size_ = 16;
};

// Switches every item of `menu` (not its submenus) to owner drawing, unless it is a
// separator. Done as a popup opens.
void prepareOwnerDrawn(HMENU menu) noexcept;

// The owner-drawn look: the menu font of the system, the icon at the left, the text
// after it. `dark` draws light text on a dark ground.
class MenuPainter {
 public:
  // WM_MEASUREITEM for a menu item; returns whether it was one of ours.
  bool measure(HWND window, MEASUREITEMSTRUCT& measure, const MenuIcons& icons) noexcept;
  // WM_DRAWITEM for a menu item; returns whether it was one of ours.
  bool draw(const DRAWITEMSTRUCT& draw, const MenuIcons& icons, bool dark) noexcept;
  // WM_MENUCHAR: the item a typed character chooses in `menu`, as the message's result.
  [[nodiscard]] static LRESULT menuChar(HMENU menu, wchar_t character) noexcept;
  // Forgets the font (after a settings change of the system).
  void reset() noexcept { font_.reset(); }

 private:
  HFONT font() noexcept;
  platform::UniqueGdiObject font_;
};

}  // namespace crvl::shell
