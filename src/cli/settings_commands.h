// The console's plug-in list and program settings: the "File System Plugins" page and
// the "Configuration" dialog through their models and keys, with the dialogs' ranges.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/console_io.h"

namespace crvl::cli {

[[nodiscard]] int listPlugins(Console& console);
[[nodiscard]] int addPlugin(Console& console);
// enable, disable, remove
[[nodiscard]] int changePlugin(Console& console);

[[nodiscard]] int showConfig(Console& console);
[[nodiscard]] int setConfig(Console& console);

// For completion: the keys "config set" takes, in the order "config show" lists them.
[[nodiscard]] std::vector<std::u16string> configSetKeys();
// The values "config set KEY" offers (none where any number goes); `*folder` is set for
// keys whose value is a folder.
[[nodiscard]] std::vector<std::u16string> configSetValues(std::u16string_view key, bool* folder);

}  // namespace crvl::cli
