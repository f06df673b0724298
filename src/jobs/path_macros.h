// Path macros keep stored paths portable: a stored path may begin with "%MY_PATH%"
// (the program's folder), "%VEVOVIZOR_PATH%" (the same), "%APPDATA%", "%TEMP%" or any
// environment variable. Paths are expanded before use and contracted before they are
// stored; both normalise "." and ".." components. Paths hold at most 1023 characters;
// longer results are cut.
#pragma once

#include <string>
#include <string_view>

namespace crvl {

inline constexpr size_t kMaxPathChars = 1023;

// Expansion of a leading macro, then normalizePath.
[[nodiscard]] std::u16string expandPath(std::u16string_view source);

// As expandPath, but a path beginning with ".." is first taken relative to the
// program's folder ("%MY_PATH%\" + source). Used where paths are shown and compared.
[[nodiscard]] std::u16string expandRelativePath(std::u16string_view source);

// Replaces a leading folder that a macro stands for by the macro, then normalizePath.
// A path that begins with '%' is left as it is.
[[nodiscard]] std::u16string contractPath(std::u16string_view source);

// Removes "." components and resolves ".." components from the left.
void normalizePath(std::u16string& path);

// True when `folder` is a leading part of `path` that ends at a component boundary
// (compared upper-cased; separators and ':' count as equal to each other).
[[nodiscard]] bool pathStartsWith(std::u16string_view path, std::u16string_view folder);

// Both paths expanded with expandRelativePath, separators unified, then namesEqual.
[[nodiscard]] bool pathsEqual(std::u16string_view a, std::u16string_view b);

// Case-insensitive comparison of names in the user's locale.
[[nodiscard]] bool namesEqual(std::u16string_view a, std::u16string_view b);

// "%APPDATA%" expanded, then the component "Halberic", then `name` when not empty.
[[nodiscard]] std::u16string perUserDataFolder(std::u16string_view name = {});

// Removes the last component (a trailing separator alone counts as the last
// component). Returns false (and leaves `path`) on a root: a drive root, a network
// share root, or "/" on POSIX.
[[nodiscard]] bool parentOf(std::u16string& path);

// Whether the character separates path components on this system.
[[nodiscard]] bool isPathSeparator(char16_t c) noexcept;

}  // namespace crvl
