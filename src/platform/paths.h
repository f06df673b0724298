// Path helpers shared by every layer: separators, roots and parents, joining,
// normalisation of "." and ".." components, the long forms for paths of 260 characters
// or more ("\\?\C:\..." and "\\?\UNC\server\share\..."), and comparisons of folder
// paths by the file system's rule for names. On POSIX the separator is '/', there are
// no long forms, and the only root is "/".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace crvl::platform {

inline constexpr size_t kLongPathThreshold = 260;

// Whether the character separates path components on this system ('\' and '/' on
// Windows, '/' alone on POSIX, where '\' is part of a name).
[[nodiscard]] bool isPathSeparator(char16_t c) noexcept;

// Whether `c` is '/' or '\', whatever the system.
[[nodiscard]] constexpr bool isAnySeparator(char16_t c) noexcept { return c == u'/' || c == u'\\'; }

// The number of '/' and '\' characters at the start of `path`.
[[nodiscard]] constexpr size_t leadingSeparators(std::u16string_view path) noexcept {
  size_t n = 0;
  while (n < path.size() && isAnySeparator(path[n])) ++n;
  return n;
}

// Whether `path` begins with an ASCII drive letter and ':' ("C:", "c:\x").
[[nodiscard]] constexpr bool isDrivePath(std::u16string_view path) noexcept {
  return path.size() >= 2 && path[1] == u':' &&
         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

// A drive path of 260 characters or more, or one with a component that the short form
// would alter (a trailing dot or space, a device name), gets "\\?\" ("." and ".."
// resolved first); a UNC path gets "\\?\UNC" and the path less its first backslash.
// Other paths, paths already in long form and every path on POSIX are unchanged.
[[nodiscard]] std::u16string toLongPath(std::u16string_view path);

// Whether the short form of a path reaches a device instead of an entry of this name:
// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 in any case, with any extension.
[[nodiscard]] bool isReservedDeviceName(std::u16string_view name);

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

// Whether two folder paths name the same folder by the file system's rule for names
// (platform::sameFileName: Windows without regard to case, POSIX exactly); trailing
// separators do not count.
[[nodiscard]] bool sameFolderPath(std::u16string_view a, std::u16string_view b);

// Whether `inner` is `outer` or lies below it (a match that ends at a component
// boundary, by the same rule as sameFolderPath). Both paths are taken as given: the
// caller expands and normalises them first.
[[nodiscard]] bool pathLiesWithin(std::u16string_view inner, std::u16string_view outer);

// The last component of `path` (after its last separator; the whole path without one).
[[nodiscard]] std::u16string_view fileNameOf(std::u16string_view path) noexcept;

// The folder part of `path` without its trailing separator: empty for a bare name,
// the root itself ("/", "C:\\") for an entry in the root.
[[nodiscard]] std::u16string_view folderOf(std::u16string_view path) noexcept;

// `folder`, a separator unless it already ends in one, and `name`, into `out` (whose
// buffer is reused).
void joinPath(std::u16string_view folder, std::u16string_view name, std::u16string& out);

// Where '\\' separates, a path written with '/' keeps '/' throughout: every '\\'
// becomes '/' when the path holds a '/'. Nothing changes on POSIX.
void matchSeparatorStyle(std::u16string& path);

// Removes "." components and resolves ".." components from the left.
void normalizePath(std::u16string& path);

// True when `folder` is a leading part of `path` that ends at a component boundary
// (on Windows compared upper-cased, on POSIX exactly; separators and ':' count as equal
// to each other).
[[nodiscard]] bool pathStartsWith(std::u16string_view path, std::u16string_view folder);

// Removes the last component (a trailing separator alone counts as the last
// component). Returns false (and leaves `path`) on a root: a drive root, a network
// share root, or "/" on POSIX.
[[nodiscard]] bool parentOf(std::u16string& path);

}  // namespace crvl::platform
