// What the Windows file and listing code share: long paths, FILETIME conversion, the
// entry record from the system's records, the error of a failed open, and the shell's
// file operation. Internal to src/platform/win32.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/win32/handles.h"
#include "platform/win32/long_paths.h"

namespace crvl::platform::win32 {

[[nodiscard]] inline std::wstring longPath(std::u16string_view path) { return longSystemPath(path); }

[[nodiscard]] inline uint64_t toUint64(const FILETIME& t) noexcept {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

[[nodiscard]] inline FILETIME toFileTime(uint64_t v) noexcept {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(v);
  t.dwHighDateTime = static_cast<DWORD>(v >> 32);
  return t;
}

// Fills `info` from any of the system's records that carry the attributes, the size in
// two halves and the three times (find data, attribute data, handle information).
template <typename SystemRecord>
void entryInfo(const SystemRecord& data, LocalEntryInfo* info) {
  info->attributes = data.dwFileAttributes;
  info->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->creationTime = toUint64(data.ftCreationTime);
  info->lastAccessTime = toUint64(data.ftLastAccessTime);
  info->lastWriteTime = toUint64(data.ftLastWriteTime);
}

// The error of a failed open of `path`, from the thread's last error.
[[nodiscard]] inline ErrorCode openError(std::u16string_view path) {
  const DWORD e = ::GetLastError();
  if (e == ERROR_NOT_READY) {
    // A drive that is not ready and a file that does not exist look alike here.
    return ::GetFileAttributesW(longPath(path).c_str()) == INVALID_FILE_ATTRIBUTES ? kErrorFileNotFound
                                                                                     : kErrorNotReady;
  }
  return failureResult(e, kErrorAccessDenied);
}

// SHFileOperationW with both path lists in long form. An aborted operation gives 1235.
[[nodiscard]] ErrorCode shellOperation(UINT function, std::u16string_view from, std::u16string_view to,
                                       FILEOP_FLAGS flags);

}  // namespace crvl::platform::win32
