// Listing the names in one folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace crvl::platform {

// The names of the files (not folders) directly in `folder`, in the system's order,
// "." and ".." excluded. `names` is replaced; on failure it is left empty.
[[nodiscard]] ErrorCode listFileNames(std::u16string_view folder, std::vector<std::u16string>& names);

}  // namespace crvl::platform
