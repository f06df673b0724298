// The "File System Plugins" page: the list shows the page's rows (the check box of a
// row is its enabled flag, the module column its stored form) and is refilled after
// every change of the rows; the toolbar follows the selection.
#include "shell/plugin_page_view.h"

#include <array>
#include <string>

#include "jobs/profile_store.h"
#include "language/language_table.h"
#include "platform/win32/handles.h"
#include "resources/string_ids.h"
#include "shell/dialog_controls.h"
#include "shell/tray_menu.h"

namespace crvl::shell {
namespace {

constexpr int kList = 5501;
constexpr int kAdd = 6990, kEdit = 6993, kDuplicate = 6995, kRemove = 6997, kMoveUp = 6991, kMoveDown = 6992;
constexpr int kConnections = 5540;
constexpr std::array<int, 7> kButtons = {kAdd, kEdit, kDuplicate, kRemove, kMoveUp, kMoveDown, kConnections};

}  // namespace

HWND PluginPageView::list() const noexcept { return ::GetDlgItem(dialog_, kList); }

void PluginPageView::initialise(HWND dialog, ProfileStore& settings) {
  dialog_ = dialog;
  for (int id : kButtons) setItemText(dialog, id, uiText(static_cast<uint16_t>(id)));
  addButtonTooltips(dialog, {kAdd, kEdit, kDuplicate, kRemove, kMoveUp, kMoveDown, kConnections});
  ListView_SetExtendedListViewStyle(list(), LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  addColumns(list(), {kTextlNme, kTextlPlg, kTextlPrm});
  page_.load(settings);
  fill();
}

void PluginPageView::fill() {
  const HWND rows = list();
  updating_ = true;
  ListView_DeleteAllItems(rows);
  for (size_t i = 0; i < page_.rows().size(); ++i) {
    const PluginEntry& entry = page_.rows()[i];
    const int row = insertRow(rows, static_cast<int>(i), entry.name);
    setCell(rows, row, 1, entry.modulePath);
    setCell(rows, row, 2, entry.parameters);
    setRowChecked(rows, row, entry.enabled);
  }
  fitColumns(rows);
  selectRow(rows, page_.selected());
  updating_ = false;
  updateButtons();
}

void PluginPageView::showChecks() {
  updating_ = true;
  for (size_t i = 0; i < page_.rows().size(); ++i) setRowChecked(list(), static_cast<int>(i), page_.rows()[i].enabled);
  updating_ = false;
}

void PluginPageView::updateButtons() {
  const PluginPageButtons b = page_.buttons();
  enableItem(dialog_, kEdit, b.edit);
  enableItem(dialog_, kDuplicate, b.duplicate);
  enableItem(dialog_, kRemove, b.remove);
  enableItem(dialog_, kMoveUp, b.moveUp);
  enableItem(dialog_, kMoveDown, b.moveDown);
}

bool PluginPageView::notify(const NMHDR* header) {
  if (header == nullptr || header->idFrom != kList) return false;
  if (header->code == LVN_ITEMCHANGED && !updating_) {
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
    if ((change->uChanged & LVIF_STATE) == 0 || change->iItem < 0) return true;
    if (((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0) {
      page_.setChecked(change->iItem, rowChecked(list(), change->iItem));
    }
    if (((change->uNewState ^ change->uOldState) & LVIS_SELECTED) != 0) {
      page_.select(selectedRow(list()));
      updateButtons();
    }
  } else if (header->code == NM_DBLCLK) {
    const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
    if (click->iItem >= 0) {
      page_.select(click->iItem);
      edit(false);
    }
  }
  return true;
}

void PluginPageView::edit(bool add) {
  PluginEntry entry;
  if (!add) {
    if (page_.selected() < 0) return;
    entry = page_.rows()[static_cast<size_t>(page_.selected())];
  }
  if (!editPluginEntry(dialog_, entry)) return;
  if (add) {
    page_.add(entry);
  } else {
    page_.edit(entry);
  }
  fill();
}

bool PluginPageView::command(int id) {
  switch (id) {
    case kAdd:
      edit(true);
      return true;
    case kEdit:
      edit(false);
      return true;
    case kDuplicate:
      page_.duplicate();
      break;
    case kRemove:
      page_.remove();
      break;
    case kMoveUp:
      page_.moveUp();
      break;
    case kMoveDown:
      page_.moveDown();
      break;
    case kConnections:
      editSftpConnections(dialog_, page_.rows());
      return true;
    default:
      return false;
  }
  fill();
  return true;
}

bool PluginPageView::contextMenu(HWND window, LPARAM lParam) {
  if (window != list()) return false;
  if (!page_.offersContextMenu()) return true;
  POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (lParam == -1) {  // from the keyboard: at the list's top left corner
    at = POINT{0, 0};
    ::ClientToScreen(window, &at);
  }
  platform::UniqueMenu menu(::CreatePopupMenu());
  if (!menu) return true;
  // The items of the language library's selection menu, in its order.
  for (const CrvlMenuRecord* record = languageResources().selectionMenu;
       record != nullptr && (record->id != 0 || record->flags != 0); ++record) {
    if (record->id == CRVL_MENU_SEPARATOR_ID) {
      ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      ::AppendMenuW(menu.get(), MF_STRING, record->id, wide(menuTextFromText(uiText(record->id))));
    }
  }
  const auto chosen = static_cast<uint16_t>(
      ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, dialog_, nullptr));
  switch (chosen) {
    case kTextSelS:
      page_.checkAll();
      break;
    case kTextSelD:
      page_.uncheckAll();
      break;
    case kTextSelI:
      page_.invertChecks();
      break;
    default:
      return true;
  }
  showChecks();
  return true;
}

}  // namespace crvl::shell
