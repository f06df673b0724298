#include "plugins/plugin_page.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "language/language_table.h"
#include "platform/paths.h"
#include "plugins/file_system_plugin.h"
#include "plugins/plugin_calls.h"
#include "plugins/plugin_host.h"
#include "resources/string_ids.h"

namespace crvl {
namespace {

std::u16string cutTo(std::u16string_view text, size_t limit) { return std::u16string(text.substr(0, limit)); }

}  // namespace

void PluginListPage::load(ProfileStore& settings) {
  rows_ = readPluginEntries(settings);
  selected_ = -1;
}

void PluginListPage::select(int32_t row) noexcept {
  selected_ = row >= 0 && static_cast<size_t>(row) < rows_.size() ? row : -1;
}

PluginPageButtons PluginListPage::buttons() const noexcept {
  PluginPageButtons b;
  if (selected_ < 0) return b;
  b.edit = b.duplicate = b.remove = true;
  b.moveUp = selected_ > 0;
  b.moveDown = static_cast<size_t>(selected_) + 1 < rows_.size();
  return b;
}

void PluginListPage::add(const PluginEntry& entry) {
  rows_.push_back(entry);
  selected_ = static_cast<int32_t>(rows_.size()) - 1;
}

void PluginListPage::edit(const PluginEntry& entry) {
  if (selected_ >= 0) rows_[selected_] = entry;
}

void PluginListPage::duplicate() {
  if (selected_ < 0) return;
  const PluginEntry copy = rows_[selected_];
  rows_.insert(rows_.begin() + selected_, copy);
  ++selected_;
}

void PluginListPage::remove() {
  if (selected_ < 0) return;
  rows_.erase(rows_.begin() + selected_);
  selected_ = -1;
}

void PluginListPage::moveUp() {
  if (selected_ <= 0) return;
  std::swap(rows_[selected_], rows_[selected_ - 1]);
  --selected_;
}

void PluginListPage::moveDown() {
  if (selected_ < 0 || static_cast<size_t>(selected_) + 1 >= rows_.size()) return;
  std::swap(rows_[selected_], rows_[selected_ + 1]);
  ++selected_;
}

void PluginListPage::setChecked(int32_t row, bool checked) {
  if (row >= 0 && static_cast<size_t>(row) < rows_.size()) rows_[row].enabled = checked;
}

void PluginListPage::checkAll() {
  for (PluginEntry& row : rows_) row.enabled = true;
}

void PluginListPage::uncheckAll() {
  for (PluginEntry& row : rows_) row.enabled = false;
}

void PluginListPage::invertChecks() {
  for (PluginEntry& row : rows_) row.enabled = !row.enabled;
}

PluginPageSaved PluginListPage::save(ProfileStore& settings, ProviderTable& providers) const {
  PluginPageSaved saved;
  saved.changed = writePluginEntries(settings, rows_);
  if (saved.changed) unloadPlugins(providers);
  saved.flushResult = settings.flushStore();
  return saved;
}

PluginEntryDialog openEntryDialog(const PluginEntry& entry) {
  PluginEntryDialog dialog;
  dialog.titleId = entry.modulePath.empty() ? kTextPAdd : kTextPEdi;
  dialog.browseAtOnce = entry.modulePath.empty();
  dialog.enabled = entry.enabled;
  dialog.name = cutTo(entry.name, kNameFieldChars);
  dialog.modulePath = entry.modulePath.empty() ? std::u16string() : cutTo(expandPath(entry.modulePath), kModuleFieldChars);
  dialog.parameters = cutTo(entry.parameters, kParameterFieldChars);
  return dialog;
}

bool chooseModule(PluginEntryDialog& dialog, std::u16string_view path, std::u16string* message) {
  message->clear();
  dialog.modulePath = cutTo(path, kModuleFieldChars);
  std::unique_ptr<FileSystemPlugin> plugin;
  if (loadPlugin(u"", expandPath(path), /*host=*/nullptr, &plugin) != 0) {
    *message = uiText(kTexteLPg) + u"\n\n" + std::u16string(platform::fileNameOf(path));
    return false;
  }
  const auto root = plugin_calls::defaultRootName(*plugin);
  dialog.name = root.answered() ? root.value : std::u16string();
  return true;  // the module is unloaded as `plugin` goes
}

PluginEntry acceptEntryDialog(const PluginEntryDialog& dialog) {
  PluginEntry entry;
  entry.enabled = dialog.enabled;
  entry.name = cutTo(dialog.name, kPluginNameChars);
  entry.modulePath = dialog.modulePath.empty() ? std::u16string() : cutTo(contractPath(dialog.modulePath), kPluginPathChars);
  entry.parameters = cutTo(dialog.parameters, kPluginParameterChars);
  return entry;
}

}  // namespace crvl
