// Path macros keep stored paths portable: a stored path may begin with "%MY_PATH%"
// (the program's folder), "%VEVOVIZOR_PATH%" (the same), "%APPDATA%", "%TEMP%" or any
// environment variable. Paths are expanded before use and contracted before they are
// stored; both normalise "." and ".." components (platform/paths.h). Results are never
// cut: a stored path field holds at most kMaxPathChars characters, and what does not
// fit is refused where it is entered (fitsStoredPath). "%TEMP%" stands for
// platform::tempFolder() both ways, whatever the variable TEMP holds, so that a
// contracted path expands to the folder it came from.
#pragma once

#include <string>
#include <string_view>

namespace crvl {

inline constexpr size_t kMaxPathChars = 1023;

// Whether `path` fits a stored path field (at most kMaxPathChars characters).
[[nodiscard]] inline bool fitsStoredPath(std::u16string_view path) noexcept {
  return path.size() <= kMaxPathChars;
}

// Expansion of a leading macro, then normalizePath.
[[nodiscard]] std::u16string expandPath(std::u16string_view source);

// As expandPath, but a path beginning with ".." is first taken relative to the
// program's folder ("%MY_PATH%\" + source). Used where paths are shown and compared.
[[nodiscard]] std::u16string expandRelativePath(std::u16string_view source);

// Replaces a leading folder that a macro stands for by the macro, then normalizePath.
// A path that begins with '%' is left as it is.
[[nodiscard]] std::u16string contractPath(std::u16string_view source);

// Both paths expanded with expandRelativePath, separators unified, then namesEqual.
[[nodiscard]] bool pathsEqual(std::u16string_view a, std::u16string_view b);

// "%APPDATA%" expanded, then the component "Halberic", then `name` when not empty.
[[nodiscard]] std::u16string perUserDataFolder(std::u16string_view name = {});

}  // namespace crvl
