// The "File System Plugins" page of the configuration dialog as windows: the list with
// its check boxes, the toolbar, the list's context menu, and the entry dialog. The rows
// and every rule live in PluginListPage and PluginEntryDialog; these only show them and
// hand on what the user does.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "plugins/plugin_page.h"

namespace crvl {
class ProfileStore;
}

namespace crvl::shell {

// The entry dialog over `owner` for `entry` (an empty entry: adding one). On "&OK" the
// entry takes the dialog's values and the result is true.
bool editPluginEntry(HWND owner, PluginEntry& entry);

// The "SFTP Connections" dialog over `owner`: the connections of sftp.ini, stored on
// "&OK". The host key is read through the first SFTP module of `plugins` (the page's
// rows, saved or not), else the one beside the program.
void editSftpConnections(HWND owner, const std::vector<PluginEntry>& plugins);

// The page's controls inside the configuration dialog `dialog`.
class PluginPageView {
 public:
  // Fills the list from the settings and gives the buttons their texts and tooltips.
  void initialise(HWND dialog, ProfileStore& settings);
  // A notification of the list; true when it was the list's.
  bool notify(const NMHDR* header);
  // A command of the page's buttons; true when it was one.
  bool command(int id);
  // WM_CONTEXTMENU over `window` at screen point `lParam`; true when it was the list's.
  bool contextMenu(HWND window, LPARAM lParam);
  [[nodiscard]] const PluginListPage& page() const noexcept { return page_; }

 private:
  void fill();
  void showChecks();
  void updateButtons();
  void edit(bool add);
  [[nodiscard]] HWND list() const noexcept;

  HWND dialog_ = nullptr;
  PluginListPage page_;
  bool updating_ = false;
};

}  // namespace crvl::shell
