// The console's job logs: the listing, a log printed as text whatever its format, and
// removal as the "Logs" dialog removes (files deleted, the index compacted).
#pragma once

#include <string>
#include <string_view>

#include "cli/console_io.h"

namespace crvl::cli {

[[nodiscard]] int listLogs(Console& console);
[[nodiscard]] int showLog(Console& console);
[[nodiscard]] int removeLogs(Console& console);

// A log file's text: UTF-16 (FF FE), UTF-8 (EF BB BF) or the ANSI code page by its byte
// order mark; HTML logs become lines of tab-separated cells with entities decoded.
[[nodiscard]] std::u16string logAsText(std::string_view bytes);

}  // namespace crvl::cli
