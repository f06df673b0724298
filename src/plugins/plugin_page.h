// The "File System Plugins" page of the configuration dialog and its entry dialog, as
// models without windows: the rows the page shows and edits, the state of its toolbar,
// and the rules of the entry dialog. The dialogs call these; nothing here shows a window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/provider_table.h"
#include "platform/errors.h"
#include "plugins/plugin_list.h"

namespace crvl {

class ProfileStore;

// Which toolbar buttons are enabled.
struct PluginPageButtons {
  bool edit = false;
  bool duplicate = false;
  bool remove = false;
  bool moveUp = false;
  bool moveDown = false;
  friend bool operator==(const PluginPageButtons&, const PluginPageButtons&) = default;
};

// What saving the page did.
struct PluginPageSaved {
  bool changed = false;         // the stored list changed, and the plug-ins were unloaded
  ErrorCode flushResult = 0;
};

// The page's working copy of the list: its rows (the check box of a row is its enabled
// flag) and the selected row. Nothing is stored until save.
class PluginListPage {
 public:
  // The rows from the settings, in list order; no row selected.
  void load(ProfileStore& settings);

  [[nodiscard]] const std::vector<PluginEntry>& rows() const noexcept { return rows_; }
  // The selected row, or -1.
  [[nodiscard]] int32_t selected() const noexcept { return selected_; }
  // Selects a row (-1 or a row outside the list: none).
  void select(int32_t row) noexcept;
  // Edit, duplicate and remove while a row is selected; up unless it is the first, down
  // unless it is the last.
  [[nodiscard]] PluginPageButtons buttons() const noexcept;
  // The context menu (check all, none, invert) is offered from two rows on.
  [[nodiscard]] bool offersContextMenu() const noexcept { return rows_.size() >= 2; }

  // "Add New": the entry dialog's values as a new last row (selected).
  void add(const PluginEntry& entry);
  // "Edit": the selected row takes the entry dialog's values.
  void edit(const PluginEntry& entry);
  // "Duplicate": a copy of the selected row inserted at its position; the selected row
  // moves down by one and stays selected.
  void duplicate();
  // "Remove": the selected row goes at once; no row is selected afterwards.
  void remove();
  // "Move Up" / "Move Down": the selected row swaps with its neighbour and stays selected.
  void moveUp();
  void moveDown();
  // The check box of one row, and "Select all", "Deselect all", "Invert selection".
  void setChecked(int32_t row, bool checked);
  void checkAll();
  void uncheckAll();
  void invertChecks();

  // OK of the configuration dialog: stores the rows, unloads every loaded plug-in of
  // `providers` when the stored list changed (they load again, from the new list, when
  // a path needs them), and flushes the settings.
  PluginPageSaved save(ProfileStore& settings, ProviderTable& providers) const;

 private:
  std::vector<PluginEntry> rows_;
  int32_t selected_ = -1;
};

// The entry dialog's fields: what it shows and edits for one row.
struct PluginEntryDialog {
  uint16_t titleId = 0;          // "Edit Entry" with a module path, else "Add Entry"
  bool browseAtOnce = false;     // a new entry opens the file dialog at once
  bool enabled = true;
  std::u16string name;           // at most 64 characters
  std::u16string modulePath;     // shown with its macros expanded; at most 1024
  std::u16string parameters;     // at most 512
};

inline constexpr size_t kNameFieldChars = 64;
inline constexpr size_t kModuleFieldChars = 1024;
inline constexpr size_t kParameterFieldChars = 512;

// The file dialog's filters: (label, patterns).
inline constexpr std::u16string_view kModuleFilterLabel = u"PlugIn";
inline constexpr std::u16string_view kModuleFilterPatterns = u"*.wfx;*.uwfx;*.wfx64";
inline constexpr std::u16string_view kAllFilesPattern = u"*.*";

// The dialog for `entry` (an empty entry: adding one).
[[nodiscard]] PluginEntryDialog openEntryDialog(const PluginEntry& entry);

// A module chosen with the file dialog: its path goes into the field, and the module is
// loaded on its own. When it loads, the name field takes the module's default name (or
// is emptied when it gives none), the module is unloaded again, and the result is true.
// When it does not load, the result is false, the other fields stay as they are, and
// `*message` is the text of the error box ("The plugin could not be loaded.", an empty
// line, the module's file name).
bool chooseModule(PluginEntryDialog& dialog, std::u16string_view path, std::u16string* message);

// OK of the entry dialog: the row's values, the module path in its stored (macro) form.
[[nodiscard]] PluginEntry acceptEntryDialog(const PluginEntryDialog& dialog);

}  // namespace crvl
