// The provider slot of a loaded plug-in: the engine's file-system operations carried
// out by the module's functions. Paths reach the module without the slot's prefix
// (three separators and the plug-in's name), with '\' between components on both
// systems, "\" for the plug-in's root.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/provider_table.h"
#include "plugins/file_system_plugin.h"

namespace crvl {

// Fills `slot` as the loaded plug-in: kind 3, the plug-in's name, prefix length name +
// 3 (0 for an empty name), every operation entry the binding has (copy between two
// slots, shell items and finish stay empty). The slot shares the plug-in with the
// handles opened on it: its unload entry clears the slot, and the plug-in is freed when
// the last open handle on it is released (at once when none is open).
void fillPluginSlot(FileSystemProvider& slot, std::unique_ptr<FileSystemPlugin> plugin);

// The plug-in of a slot filled by fillPluginSlot, or null for any other slot.
[[nodiscard]] FileSystemPlugin* pluginOf(const FileSystemProvider* slot) noexcept;

// The path a module is handed for `path`: a leading run of three or more separators
// followed by `name` (compared without regard to case, ending at a separator or the
// end) is removed; every '/' becomes '\'; an empty result is "\".
[[nodiscard]] std::u16string pathInsidePlugin(std::u16string_view path, std::u16string_view name);

// The folder of a path inside a plug-in with a trailing '\': "\a\b.txt" gives "\a\",
// "\b.txt" and "\" give "\".
[[nodiscard]] std::u16string folderOfInsidePath(std::u16string_view insidePath);

}  // namespace crvl
