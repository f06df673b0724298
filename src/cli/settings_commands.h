// The console's plug-in list and program settings: the "File System Plugins" page and
// the "Configuration" dialog through their models and keys, with the dialogs' ranges.
#pragma once

#include "cli/console_io.h"

namespace crvl::cli {

[[nodiscard]] int listPlugins(Console& console);
[[nodiscard]] int addPlugin(Console& console);
// enable, disable, remove
[[nodiscard]] int changePlugin(Console& console);

[[nodiscard]] int showConfig(Console& console);
[[nodiscard]] int setConfig(Console& console);

}  // namespace crvl::cli
