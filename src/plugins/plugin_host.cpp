// Registration of the configured plug-ins into free provider slots, and unloading.
#include "plugins/plugin_host.h"

#include <algorithm>

#include "jobs/path_macros.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "plugins/file_system_plugin.h"
#include "plugins/plugin_list.h"
#include "plugins/plugin_slot.h"

namespace crvl {
namespace {

// Whether a slot already answers to `name`: a loaded plug-in, one being loaded, or the
// plug-in root.
bool nameTaken(const ProviderTable& table, std::u16string_view name) {
  return std::any_of(table.slots.begin(), table.slots.end(), [&](const FileSystemProvider& slot) {
    const bool named = slot.kind == kProviderPlugin || slot.kind == kProviderFilling ||
                       slot.kind == kProviderPluginRoot;
    return named && slot.name != nullptr && platform::namesEqual(slot.name, name);
  });
}

// A name that paths can address: not empty and without separators.
bool addressable(std::u16string_view name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), platform::isAnySeparator);
}

void registerWithHost(void* context, ProviderTable& table) {
  registerConfiguredPlugins(*static_cast<PluginHost*>(context), table);
}

}  // namespace

PluginHost::PluginHost() = default;
PluginHost::~PluginHost() = default;

PluginRegistration pluginRegistration(PluginHost& host) noexcept {
  PluginRegistration registration;
  registration.registerPlugins = &registerWithHost;
  registration.context = &host;
  return registration;
}

void registerConfiguredPlugins(PluginHost& host, ProviderTable& table) {
  if (host.settings == nullptr) return;
  const std::vector<PluginEntry> entries = readPluginEntries(*host.settings);
  std::lock_guard<std::recursive_mutex> guard(table.lock());
  for (const PluginEntry& entry : entries) {
    if (!entry.enabled || !addressable(entry.name) || nameTaken(table, entry.name)) continue;
    // Slots 0 and 1 are the local provider and the plug-in root.
    auto free = std::find_if(table.slots.begin() + 2, table.slots.end(),
                             [](const FileSystemProvider& slot) { return slot.kind == kProviderFree; });
    if (free == table.slots.end()) break;
    FileSystemProvider& slot = *free;
    slot.kind = kProviderFilling;
    slot.name = entry.name.c_str();  // while it loads, under the lock
    std::unique_ptr<FileSystemPlugin> plugin;
    if (loadPlugin(entry.name, expandPath(entry.modulePath), &host, &plugin) == 0) {
      fillPluginSlot(slot, std::move(plugin));
    } else {
      ProviderTable* owner = slot.table;
      slot = FileSystemProvider{};
      slot.table = owner;
    }
  }
}

void unloadPlugins(ProviderTable& table) {
  std::lock_guard<std::recursive_mutex> guard(table.lock());
  for (FileSystemProvider& slot : table.slots) {
    if (pluginOf(&slot) != nullptr && slot.ops.unload != nullptr) slot.ops.unload(&slot);
  }
}

}  // namespace crvl
