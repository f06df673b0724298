#include "shell/popup_menu.h"

#include <algorithm>

#include "platform/win32/handles.h"

namespace crvl::shell {
namespace {

const MenuItem* itemOf(ULONG_PTR data) noexcept { return reinterpret_cast<const MenuItem*>(data); }

// Space around the icon and the text, in pixels at 96 dots per inch.
constexpr int kPadding = 4;
constexpr int kTextGap = 8;
constexpr int kRightMargin = 20;

// `pixels` at 96 dots per inch, scaled to the device's resolution.
int scaled(HDC dc, int pixels) noexcept { return ::MulDiv(pixels, ::GetDeviceCaps(dc, LOGPIXELSY), 96); }

}  // namespace

DWORD PopupMenu::create(std::vector<MenuItem> items) noexcept {
  items_ = std::move(items);
  menus_.clear();
  menu_.reset(::CreatePopupMenu());
  if (!menu_) return ::GetLastError();
  return fill(menu_.get(), items_);
}

DWORD PopupMenu::fill(HMENU menu, std::vector<MenuItem>& items) noexcept {
  menus_.push_back(menu);
  UINT position = 0;
  for (MenuItem& item : items) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_DATA | MIIM_STATE;
    info.wID = item.id;
    info.dwItemData = reinterpret_cast<ULONG_PTR>(&item);
    info.fState = item.grayed ? MFS_GRAYED : MFS_ENABLED;
    if (item.isSeparator()) {
      info.fType = MFT_SEPARATOR;
    } else {
      info.fType = MFT_STRING;
      info.fMask |= MIIM_STRING;
      info.dwTypeData = reinterpret_cast<wchar_t*>(item.text.data());
    }
    HMENU submenu = nullptr;
    if (item.hasSubmenu) {
      submenu = ::CreatePopupMenu();
      if (submenu == nullptr) return ::GetLastError();
      info.fMask |= MIIM_SUBMENU;
      info.hSubMenu = submenu;
    }
    if (!::InsertMenuItemW(menu, position++, /*fByPosition=*/TRUE, &info)) {
      const DWORD error = ::GetLastError();
      if (submenu != nullptr) ::DestroyMenu(submenu);
      return error != 0 ? error : ERROR_INVALID_MENU_HANDLE;
    }
    // Inserted: the parent owns the submenu from now on.
    if (submenu != nullptr) {
      if (const DWORD error = fill(submenu, item.submenu); error != 0) return error;
    }
  }
  return 0;
}

bool PopupMenu::owns(HMENU menu) const noexcept {
  return menu != nullptr && std::find(menus_.begin(), menus_.end(), menu) != menus_.end();
}

void PopupMenu::applyEnableTable(const CommandEnableTable& table, HMENU menu) const noexcept {
  for (const HMENU m : menus_) {
    if (menu != nullptr && m != menu) continue;
    const int count = ::GetMenuItemCount(m);
    for (int i = 0; i < count; ++i) {
      const UINT id = ::GetMenuItemID(m, i);
      if (id == static_cast<UINT>(-1) || id > 0xFFFF || !table.listed(static_cast<uint16_t>(id))) continue;
      ::EnableMenuItem(m, static_cast<UINT>(i),
                       MF_BYPOSITION | (table.disabled(static_cast<uint16_t>(id)) ? MF_GRAYED : MF_ENABLED));
    }
  }
}

void MenuIcons::load(HINSTANCE instance, int size) noexcept {
  icons_.clear();
  size_ = size;
  for (const uint16_t id : menuIconIds()) {
    HANDLE image = ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
    if (image != nullptr) icons_.emplace(id, platform::UniqueIcon(static_cast<HICON>(image)));
  }
}

HICON MenuIcons::icon(uint16_t itemId) const noexcept {
  const uint16_t id = menuIconId(itemId);
  const auto it = icons_.find(id);
  return it == icons_.end() ? nullptr : it->second.get();
}

void prepareOwnerDrawn(HMENU menu) noexcept {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_DATA;
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    if ((info.fType & (MFT_SEPARATOR | MFT_OWNERDRAW)) != 0 || info.dwItemData == 0) continue;
    info.fMask = MIIM_FTYPE;
    info.fType |= MFT_OWNERDRAW;
    ::SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
  }
}

HFONT MenuPainter::font() noexcept {
  if (!font_) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
      font_.reset(::CreateFontIndirectW(&metrics.lfMenuFont));
    }
  }
  return static_cast<HFONT>(font_ ? font_.get() : ::GetStockObject(DEFAULT_GUI_FONT));
}

bool MenuPainter::measure(HWND window, MEASUREITEMSTRUCT& measure, const MenuIcons& icons) noexcept {
  if (measure.CtlType != ODT_MENU || measure.itemData == 0) return false;
  const MenuItem* item = itemOf(measure.itemData);
  const HDC dc = ::GetDC(window);
  if (dc == nullptr) return false;
  const HGDIOBJ previous = ::SelectObject(dc, font());
  const std::u16string plain = withoutMnemonics(item->text);
  SIZE extent{};
  ::GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(plain.c_str()), static_cast<int>(plain.size()), &extent);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, previous);
  const int iconSize = icons.size();
  const int padding = scaled(dc, kPadding);
  measure.itemWidth = static_cast<UINT>(padding + iconSize + scaled(dc, kTextGap) + extent.cx + scaled(dc, kRightMargin));
  measure.itemHeight = static_cast<UINT>(std::max<int>(iconSize, metrics.tmHeight) + 2 * padding);
  ::ReleaseDC(window, dc);
  return true;
}

bool MenuPainter::draw(const DRAWITEMSTRUCT& draw, const MenuIcons& icons, bool dark) noexcept {
  if (draw.CtlType != ODT_MENU || draw.itemData == 0) return false;
  const MenuItem* item = itemOf(draw.itemData);
  const bool selected = (draw.itemState & ODS_SELECTED) != 0;
  const bool grayed = (draw.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
  COLORREF ground = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
  COLORREF ink = ::GetSysColor(grayed ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
  if (dark) {
    ground = selected ? RGB(0x41, 0x41, 0x41) : RGB(0x2B, 0x2B, 0x2B);
    ink = grayed ? RGB(0x80, 0x80, 0x80) : RGB(0xF0, 0xF0, 0xF0);
  }
  const HDC dc = draw.hDC;
  platform::UniqueGdiObject brush(::CreateSolidBrush(ground));
  ::FillRect(dc, &draw.rcItem, static_cast<HBRUSH>(brush.get()));

  const int iconSize = icons.size();
  const int top = draw.rcItem.top + (draw.rcItem.bottom - draw.rcItem.top - iconSize) / 2;
  const int padding = scaled(dc, kPadding);
  if (const HICON icon = icons.icon(item->id); icon != nullptr) {
    const int left = draw.rcItem.left + padding;
    if (grayed) {
      ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, left, top, iconSize, iconSize,
                   DST_ICON | DSS_DISABLED);
    } else {
      ::DrawIconEx(dc, left, top, icon, iconSize, iconSize, 0, nullptr, DI_NORMAL);
    }
  }
  RECT text = draw.rcItem;
  text.left += padding + iconSize + scaled(dc, kTextGap);
  const HGDIOBJ previousFont = ::SelectObject(dc, font());
  const COLORREF previousInk = ::SetTextColor(dc, ink);
  const int previousMode = ::SetBkMode(dc, TRANSPARENT);
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
  if (draw.itemState & ODS_NOACCEL) format |= DT_HIDEPREFIX;
  ::DrawTextW(dc, reinterpret_cast<const wchar_t*>(item->text.c_str()), -1, &text, format);
  ::SetBkMode(dc, previousMode);
  ::SetTextColor(dc, previousInk);
  ::SelectObject(dc, previousFont);
  return true;
}

LRESULT MenuPainter::menuChar(HMENU menu, wchar_t character) noexcept {
  std::vector<std::u16string> texts;
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_DATA | MIIM_FTYPE;
    const bool ok = ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) != FALSE;
    const bool ours = ok && (info.fType & MFT_SEPARATOR) == 0 && info.dwItemData != 0;
    texts.push_back(ours ? itemOf(info.dwItemData)->text : std::u16string());
  }
  const MnemonicMatch match = findMnemonic(texts, static_cast<char16_t>(character));
  if (match.index < 0) return MAKELRESULT(0, MNC_IGNORE);
  return MAKELRESULT(match.index, match.unique ? MNC_EXECUTE : MNC_SELECT);
}

}  // namespace crvl::shell
