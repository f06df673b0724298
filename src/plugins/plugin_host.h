// What the plug-in binding needs from the program, and how the program connects it: the
// settings whose plug-in list is registered, the main window handed to modules, the
// program's own properties view. The application layer owns one host for the life of
// its provider table and fills it in; the binding never reaches further up. Loaded
// plug-ins point at their host: it outlives every handle opened on them.
#pragma once

#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "engine/provider_table.h"

namespace crvl {

class ProfileStore;
struct FileSystemPlugin;

struct PluginHost {
  PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;
  ~PluginHost();

  ProfileStore* settings = nullptr;  // where the plug-in list is read; null: nothing registers
  void* mainWindow = nullptr;        // handed to FsExecuteFile (null in the console)
  // Shows the program's own properties of a plug-in path, when a module leaves that to
  // the program. Null: nothing is shown.
  void (*showProperties)(void* context, void* window, std::u16string_view path) = nullptr;
  void* context = nullptr;
};

// The registration the provider table calls on a failed lookup (and the plug-in root's
// open): registerConfiguredPlugins with this host.
[[nodiscard]] PluginRegistration pluginRegistration(PluginHost& host) noexcept;

// Loads every enabled entry of the host's plug-in list that no loaded slot carries yet,
// in list order, each into a free slot (marked as being filled while it loads). An
// entry whose module does not load, has no name, or names a slot that exists is
// skipped. Holds the table's lock.
void registerConfiguredPlugins(PluginHost& host, ProviderTable& table);

// Unloads every loaded plug-in slot of the table (after a changed plug-in list); the
// plug-ins load again, from the new list, on the next lookup that needs them.
void unloadPlugins(ProviderTable& table);

}  // namespace crvl
