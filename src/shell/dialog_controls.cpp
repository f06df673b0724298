#include "shell/dialog_controls.h"

#include <algorithm>
#include <vector>

#include "language/language_table.h"
#include "shell/dialog_texts.h"

namespace crvl::shell {

std::u16string windowText(HWND window) {
  if (window == nullptr) return {};
  const int length = ::GetWindowTextLengthW(window);
  std::u16string text(static_cast<size_t>(std::max(length, 0)) + 1, u'\0');
  const int read = ::GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(read, 0)));
  return text;
}

std::u16string itemText(HWND dialog, int id) { return windowText(::GetDlgItem(dialog, id)); }

void setItemText(HWND dialog, int id, std::u16string_view text) {
  const std::u16string copy(text);
  ::SetDlgItemTextW(dialog, id, wide(copy));
}

void setTexts(HWND dialog, std::initializer_list<uint16_t> ids) {
  const std::vector<uint16_t> list(ids);
  setDialogTexts(dialog, list.data(), list.size());
}

bool isChecked(HWND dialog, int id) noexcept { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void setChecked(HWND dialog, int id, bool checked) noexcept {
  ::CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void enableItem(HWND dialog, int id, bool enabled) noexcept {
  if (HWND control = ::GetDlgItem(dialog, id); control != nullptr) ::EnableWindow(control, enabled ? TRUE : FALSE);
}

void showItem(HWND dialog, int id, bool shown) noexcept {
  if (HWND control = ::GetDlgItem(dialog, id); control != nullptr) ::ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
}

void fillCombo(HWND dialog, int id, const std::vector<std::u16string>& texts, int selected) {
  const HWND combo = ::GetDlgItem(dialog, id);
  if (combo == nullptr) return;
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::u16string& text : texts) ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text)));
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void fillComboWithTexts(HWND dialog, int id, std::initializer_list<uint16_t> textIds, int selected) {
  std::vector<std::u16string> texts;
  for (uint16_t textId : textIds) texts.push_back(uiText(textId));
  fillCombo(dialog, id, texts, selected);
}

int comboSelection(HWND dialog, int id) noexcept {
  return static_cast<int>(::SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

void selectCombo(HWND dialog, int id, int index) noexcept {
  ::SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void addColumns(HWND list, std::initializer_list<uint16_t> textIds) {
  int column = 0;
  for (uint16_t textId : textIds) {
    std::u16string text = uiText(textId);
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.pszText = const_cast<wchar_t*>(wide(text));
    c.cx = scaled(list, 100);
    c.iSubItem = column;
    ListView_InsertColumn(list, column, &c);
    ++column;
  }
}

int insertRow(HWND list, int index, std::u16string_view text, int image, LPARAM data) {
  std::u16string copy(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(wide(copy));
  item.iImage = image;
  item.lParam = data;
  return static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void setCell(HWND list, int row, int column, std::u16string_view text) {
  std::u16string copy(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(wide(copy));
  ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::u16string cellText(HWND list, int row, int column) {
  std::u16string text(2048, u'\0');
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<wchar_t*>(text.data());
  item.cchTextMax = static_cast<int>(text.size());
  const auto length = ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  text.resize(static_cast<size_t>(std::max<LRESULT>(length, 0)));
  return text;
}

void setRowImage(HWND list, int row, int image) {
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iImage = image;
  ::SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

int selectedRow(HWND list) noexcept {
  return static_cast<int>(ListView_GetNextItem(list, -1, LVNI_SELECTED));
}

void selectRow(HWND list, int row) noexcept {
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  if (row < 0) return;
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, row, FALSE);
}

bool rowChecked(HWND list, int row) noexcept { return ListView_GetCheckState(list, row) != 0; }

void setRowChecked(HWND list, int row, bool checked) noexcept { ListView_SetCheckState(list, row, checked); }

namespace {

// The width a column needs for its content and its header text.
int naturalWidth(HWND list, int column) noexcept {
  ListView_SetColumnWidth(list, column, LVSCW_AUTOSIZE);
  wchar_t text[256] = {};
  HDITEMW item{};
  item.mask = HDI_TEXT;
  item.pszText = text;
  item.cchTextMax = 256;
  Header_GetItem(ListView_GetHeader(list), column, &item);
  return std::max(ListView_GetColumnWidth(list, column), ListView_GetStringWidth(list, text) + scaled(list, 16));
}

}  // namespace

void fitColumns(HWND list) noexcept {
  const HWND header = ListView_GetHeader(list);
  const int columns = header != nullptr ? Header_GetItemCount(header) : 0;
  for (int c = 0; c < columns; ++c) ListView_SetColumnWidth(list, c, naturalWidth(list, c));
}

void stretchColumn(HWND list, int stretch) noexcept {
  const HWND header = ListView_GetHeader(list);
  const int columns = header != nullptr ? Header_GetItemCount(header) : 0;
  if (stretch >= columns) return;
  RECT client{};
  ::GetClientRect(list, &client);
  int others = 0;
  for (int c = 0; c < columns; ++c) {
    if (c != stretch) others += ListView_GetColumnWidth(list, c);
  }
  // Never narrower than its content: a list too narrow for all scrolls instead.
  const int width = std::max<int>(client.right - others, naturalWidth(list, stretch));
  ListView_SetColumnWidth(list, stretch, width);
}

void addButtonTooltips(HWND dialog, std::initializer_list<int> ids) {
  const HWND tips = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr);
  if (tips == nullptr) return;
  for (int id : ids) {
    const std::u16string text = tooltipText(static_cast<uint16_t>(id));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(dialog, id));
    tool.lpszText = const_cast<wchar_t*>(wide(text));
    ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

UniqueImageList iconList(HWND window, std::initializer_list<int> iconIds) {
  const int size = scaled(window, 16);
  UniqueImageList list(::ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(iconIds.size()), 0));
  if (!list) return list;
  for (int id : iconIds) {
    const platform::UniqueIcon icon(static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    ::ImageList_AddIcon(list.get(), icon.get());
  }
  return list;
}

int scaled(HWND window, int pixels) noexcept {
  UINT dpi = 96;
  if (window != nullptr) {
    const HDC dc = ::GetDC(window);
    if (dc != nullptr) {
      dpi = static_cast<UINT>(::GetDeviceCaps(dc, LOGPIXELSX));
      ::ReleaseDC(window, dc);
    }
  }
  return ::MulDiv(pixels, static_cast<int>(dpi), 96);
}

void AnchorLayout::capture(HWND dialog, std::initializer_list<std::pair<int, uint8_t>> controls) {
  RECT client{};
  ::GetClientRect(dialog, &client);
  client_ = {client.right, client.bottom};
  entries_.clear();
  for (const auto& [id, anchor] : controls) {
    const HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) continue;
    RECT place{};
    ::GetWindowRect(control, &place);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    entries_.push_back({id, anchor, place});
  }
}

void AnchorLayout::apply(HWND dialog) const {
  RECT client{};
  ::GetClientRect(dialog, &client);
  const int dx = client.right - client_.cx;
  const int dy = client.bottom - client_.cy;
  HDWP batch = ::BeginDeferWindowPos(static_cast<int>(entries_.size()));
  for (const Entry& e : entries_) {
    RECT r = e.place;
    if (e.anchor & kMoveX) ::OffsetRect(&r, dx, 0);
    if (e.anchor & kMoveY) ::OffsetRect(&r, 0, dy);
    if (e.anchor & kGrowX) r.right += dx;
    if (e.anchor & kGrowY) r.bottom += dy;
    const HWND control = ::GetDlgItem(dialog, e.id);
    if (batch != nullptr) {
      batch = ::DeferWindowPos(batch, control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      ::MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
  }
  if (batch != nullptr) ::EndDeferWindowPos(batch);
  ::InvalidateRect(dialog, nullptr, TRUE);
}

void AnchorLayout::limit(MINMAXINFO* info, SIZE minimum) const noexcept {
  if (info == nullptr) return;
  info->ptMinTrackSize.x = minimum.cx;
  info->ptMinTrackSize.y = minimum.cy;
}

void centreOnWorkArea(HWND window, int width, int height, int extraWidthPixels) noexcept {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT& area = monitor.rcWork;
  width = std::min<int>(scaled(window, width) + std::max(extraWidthPixels, 0), area.right - area.left);
  height = std::min<int>(scaled(window, height), area.bottom - area.top);
  ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace crvl::shell
