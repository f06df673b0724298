// Moving a file over another one.
#pragma once

#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

// Renames the file `from` to `to` in the same volume, replacing an existing `to`
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING; POSIX: rename).
[[nodiscard]] ErrorCode replaceFile(std::u16string_view from, std::u16string_view to);

}  // namespace crvl::platform
