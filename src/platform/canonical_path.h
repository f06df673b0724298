// The one spelling of a file's path that every way of naming it leads to, for keys
// that must not depend on how the user typed the path (which settings file owns a timer
// or an autostart entry).
#pragma once

#include <string>
#include <string_view>

namespace crvl::platform {

// POSIX: the path with links, "." and ".." resolved (realpath); a file that does not
// exist yet is resolved through its folder. Windows: the full path (GetFullPathNameW),
// long names for short ones; case is left as it is (callers fold it). When nothing can
// be resolved, the path as given.
[[nodiscard]] std::u16string canonicalFilePath(std::u16string_view path);

}  // namespace crvl::platform
