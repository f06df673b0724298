// The path forms the engine works with: long forms for paths of 260 characters or more
// ("\\?\C:\..." and "\\?\UNC\server\share\..."), and the root of a path.
#pragma once

#include <string>
#include <string_view>

namespace crvl {

inline constexpr size_t kLongPathThreshold = 260;

// A drive path of 260 characters or more gets "\\?\"; a UNC path gets "\\?\UNC" and the
// path less its first backslash. Shorter paths, paths already in long form and every
// path on POSIX are returned unchanged.
[[nodiscard]] std::u16string toLongPath(std::u16string_view path);

// Undoes toLongPath; other paths are unchanged.
[[nodiscard]] std::u16string fromLongPath(std::u16string_view path);

// The root of a path after fromLongPath: "C:\" for drive paths ("C:" gets the
// backslash; "C:name" has no root), "\\server\share" for UNC paths ("\\server" alone
// reduces to "\\"), the first character for other paths beginning with a separator
// ("/" on POSIX); other forms have no root (empty result).
[[nodiscard]] std::u16string rootOf(std::u16string_view path);

// Replaces every '/' by the native separator (Windows); unchanged on POSIX.
void toNativeSeparators(std::u16string& path);

// Joins a folder path and a name with a separator unless the folder already ends in one.
void appendPathComponent(std::u16string& folder, std::u16string_view name);

}  // namespace crvl
