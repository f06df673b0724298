// The process environment and the well-known folders.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace crvl::platform {

// The value of an environment variable, or nothing when it is not set (or the name holds
// a NUL). Names compare without case as on Windows: POSIX tries the exact name first,
// then the first variable of the block whose name matches ignoring ASCII case.
[[nodiscard]] std::optional<std::u16string> environmentVariable(std::u16string_view name);

// Sets (or, with nullopt, removes) an environment variable of this process.
void setEnvironmentVariable(std::u16string_view name, const std::optional<std::u16string>& value);

// The process environment block in its own order, as (name, value) pairs. On Windows
// this includes the hidden entries whose names begin with '='.
[[nodiscard]] std::vector<std::pair<std::u16string, std::u16string>> environmentBlock();

// The system expansion of %NAME% parts (ExpandEnvironmentStringsW): every %NAME% of a
// variable that is set is replaced by its value; unknown names and a lone '%' stay as
// they are. Returns nothing when the system call fails.
[[nodiscard]] std::optional<std::u16string> expandEnvironmentText(std::u16string_view text);

// The full path of the program file (GetModuleFileNameW; POSIX: /proc/self/exe), or the
// path set by overrideProgramPath.
[[nodiscard]] std::u16string programPath();
// The program file as the system reports it, whatever overrideProgramPath set; empty
// when the system cannot tell.
[[nodiscard]] std::u16string systemProgramPath();

// Whether `folder` (a program's folder) belongs to the system's installed software,
// where no program keeps files of its own: POSIX /usr, /bin, /sbin, /lib and /opt and
// what lies below them; never on Windows, where the program's folder rule applies as is.
[[nodiscard]] bool isSystemProgramFolder(std::u16string_view folder) noexcept;

// The program file's folder: programPath() with its last component removed.
[[nodiscard]] std::u16string programFolder();

// Makes programPath() answer `path` (empty: back to the real one). For tests and for the
// console front end's --program option; safe against concurrent readers (they see the old
// path or the new one).
void overrideProgramPath(std::u16string path);

// The user's application-data folder (CSIDL_APPDATA; POSIX: $XDG_CONFIG_HOME, else
// $HOME/.config), or an empty text when the system gives none.
[[nodiscard]] std::u16string appDataFolder();

// The temporary folder (Windows: the expansion of %TEMP%; POSIX: $TMPDIR, else /tmp).
[[nodiscard]] std::u16string tempFolder();

// The Windows folder (GetWindowsDirectoryW); POSIX: "/". Empty on failure.
[[nodiscard]] std::u16string windowsFolder();

// Sets the process's current directory (SetCurrentDirectoryW / chdir).
[[nodiscard]] uint32_t setCurrentFolder(std::u16string_view path);

// `path` made absolute against the process's current directory (Windows:
// GetFullPathNameW; POSIX: getcwd + "/" + path). An absolute path is returned as it is;
// empty when the current directory cannot be read.
[[nodiscard]] std::u16string absolutePath(std::u16string_view path);

// The user's home folder (POSIX: $HOME; Windows: %USERPROFILE%), empty when unknown.
[[nodiscard]] std::u16string homeFolder();

}  // namespace crvl::platform
