// The program's own temporary files: every file that the program replaces or adds (a
// copy into a synchronised folder, a settings or job file) is first written whole under
// a temporary name beside its target and then moved onto the target's name. A reader
// therefore sees the old file or the new one, never a part of it.
//
// Temporary names are ".~crvl" followed by 12 lower-case hexadecimal digits and ".tmp"
// (22 characters): hidden on both systems (a leading dot on POSIX, the hidden attribute
// on Windows) and recognisable, so that a run never pairs, copies or deletes one as a
// user file and can remove those that a killed run left behind.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

inline constexpr std::u16string_view kTemporaryPrefix = u".~crvl";
inline constexpr std::u16string_view kTemporarySuffix = u".tmp";
inline constexpr size_t kTemporaryNameChars = 22;

// Whether a file name (no folder) has the form of the program's temporary names.
[[nodiscard]] bool isTemporaryName(std::u16string_view name) noexcept;

// A fresh temporary path in the folder of `target` (the target's last component
// replaced by a new temporary name). Names are random; the caller creates the file
// exclusively and asks again on a collision.
[[nodiscard]] std::u16string temporaryPathFor(std::u16string_view target);

// Moves the complete temporary file `temporary` onto `target` in the same folder.
// `replace`: an existing file or link at `target` is replaced as an entry (never written
// through; Windows: a read-only target has that bit cleared first); a folder is never
// replaced. Without `replace` an existing entry of that name fails the move with 80 and
// is left as it is (POSIX: renameat2 RENAME_NOREPLACE, else a hard link; Windows:
// MoveFileExW without MOVEFILE_REPLACE_EXISTING).
[[nodiscard]] ErrorCode moveIntoPlace(std::u16string_view temporary, std::u16string_view target,
                                      bool replace);

// Removes a temporary file that no process is writing any more (one that a killed run
// left behind). A temporary that is still being written is left alone and gives 32
// (POSIX: its writer holds an exclusive lock on it; Windows: it is open without delete
// sharing). Only regular files whose name isTemporaryName are removed; anything else
// gives 5.
[[nodiscard]] ErrorCode removeAbandonedTemporary(std::u16string_view path);

}  // namespace crvl::platform
