// File work that the system's shell or copy routine does for the program: the recycle
// bin, the shell's rename, the system copy with progress, and the process settings
// that file operations need (the current folder, the critical-error mode).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

// Moves a file to the recycle bin (SHFileOperationW with undo). POSIX: 50.
[[nodiscard]] ErrorCode recycleFile(std::u16string_view path);

// The shell's rename (SHFileOperationW FO_RENAME, silent, folders made without asking).
// POSIX: rename().
[[nodiscard]] ErrorCode shellRename(std::u16string_view oldPath, std::u16string_view newPath);

// Moves the process's current directory out of the way of a folder that is to be
// removed or renamed (Windows: the root of the Windows folder's drive; POSIX: "/").
void leaveCurrentFolder();

// Sets the process error mode (SetErrorMode) and returns the previous one; mode 1 makes
// critical errors fail silently instead of asking the user. POSIX: nothing, 0.
uint32_t setProcessErrorMode(uint32_t mode) noexcept;

// Whether the system has a copy routine with progress (CopyFileExW); POSIX copies with
// the stream copy.
[[nodiscard]] bool systemCopyAvailable() noexcept;

// Answers non-zero to cancel; `bytes` is the count since the previous call.
using CopyChunkCallback = int32_t (*)(void* context, uint64_t bytes);

// The system copy (CopyFileExW; first data stream only counted) onto a new file: an
// existing target fails the copy (80). A cancelled copy gives 1235. POSIX: 50.
[[nodiscard]] ErrorCode systemCopyFile(std::u16string_view source, std::u16string_view target,
                                       CopyChunkCallback callback, void* context);

}  // namespace crvl::platform
