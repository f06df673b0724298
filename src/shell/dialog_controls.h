// Small helpers over the controls of the shell's dialogs: texts, check boxes, combo
// boxes, list views, image lists, DPI scaling and the anchoring of resizable dialogs.
// Every text goes in and out as UTF-16; all functions tolerate a missing control.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/handles.h"

namespace crvl::shell {

[[nodiscard]] inline const wchar_t* wide(const std::u16string& text) noexcept {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// --- Texts ---

[[nodiscard]] std::u16string windowText(HWND window);
[[nodiscard]] std::u16string itemText(HWND dialog, int id);
void setItemText(HWND dialog, int id, std::u16string_view text);
// The title and the control texts by id (setDialogTexts over an id list).
void setTexts(HWND dialog, std::initializer_list<uint16_t> ids);

// --- Buttons and visibility ---

[[nodiscard]] bool isChecked(HWND dialog, int id) noexcept;
void setChecked(HWND dialog, int id, bool checked) noexcept;
void enableItem(HWND dialog, int id, bool enabled) noexcept;
void showItem(HWND dialog, int id, bool shown) noexcept;

// --- Combo boxes ---

// Replaces the items by the texts (each looked up when given as an id); selects
// `selected` (-1: none).
void fillCombo(HWND dialog, int id, const std::vector<std::u16string>& texts, int selected);
void fillComboWithTexts(HWND dialog, int id, std::initializer_list<uint16_t> textIds, int selected);
[[nodiscard]] int comboSelection(HWND dialog, int id) noexcept;
void selectCombo(HWND dialog, int id, int index) noexcept;

// --- List views (report view) ---

// Adds one column per text id (looked up).
void addColumns(HWND list, std::initializer_list<uint16_t> textIds);
// Inserts a row at `index` with the text of column 0; returns its index (-1 on failure).
int insertRow(HWND list, int index, std::u16string_view text, int image = -1, LPARAM data = 0);
void setCell(HWND list, int row, int column, std::u16string_view text);
[[nodiscard]] std::u16string cellText(HWND list, int row, int column);
void setRowImage(HWND list, int row, int image);
// The first selected row, or -1.
[[nodiscard]] int selectedRow(HWND list) noexcept;
// Selects and focuses `row` alone (-1: clears the selection).
void selectRow(HWND list, int row) noexcept;
[[nodiscard]] bool rowChecked(HWND list, int row) noexcept;
void setRowChecked(HWND list, int row, bool checked) noexcept;
// Sizes every column to its content and header.
void fitColumns(HWND list) noexcept;
// Tooltips over the dialog's buttons `ids`, each with the tooltip form of the text of
// its id. The tooltip window is owned by the dialog and goes with it.
void addButtonTooltips(HWND dialog, std::initializer_list<int> ids);
// Gives column `stretch` the width the other columns leave in the list.
void stretchColumn(HWND list, int stretch) noexcept;

// --- Image lists ---

struct ImageListTraits {
  using Type = HIMAGELIST;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept { ::ImageList_Destroy(h); }
};
using UniqueImageList = platform::UniqueHandle<ImageListTraits>;

// An image list of the program's icon resources, at the small-icon size of `window`.
[[nodiscard]] UniqueImageList iconList(HWND window, std::initializer_list<int> iconIds);

// --- DPI ---

// `pixels` at 96 DPI scaled to the DPI of `window`.
[[nodiscard]] int scaled(HWND window, int pixels) noexcept;

// --- Resizable dialogs ---

// Keeps controls in place relative to the edges of a dialog while it is resized: each
// control follows the right and/or bottom edge with its position or its size, from the
// places it had when `capture` was called.
class AnchorLayout {
 public:
  enum Anchor : uint8_t {
    kMoveX = 1,   // follows the right edge
    kMoveY = 2,   // follows the bottom edge
    kGrowX = 4,   // its width grows with the dialog
    kGrowY = 8,   // its height grows with the dialog
  };
  // Notes the dialog's client size and the controls' places.
  void capture(HWND dialog, std::initializer_list<std::pair<int, uint8_t>> controls);
  // Moves the controls for the new client size.
  void apply(HWND dialog) const;
  // WM_GETMINMAXINFO: the smallest window size.
  void limit(MINMAXINFO* info, SIZE minimum) const noexcept;

 private:
  struct Entry {
    int id;
    uint8_t anchor;
    RECT place;
  };
  std::vector<Entry> entries_;
  SIZE client_{};
};

// Centres a window on the work area of its monitor, at `width` x `height` (scaled), the
// width `extraWidthPixels` more; never larger than the work area.
void centreOnWorkArea(HWND window, int width, int height, int extraWidthPixels = 0) noexcept;

}  // namespace crvl::shell
