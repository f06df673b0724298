// Moving temporary files into place on Windows: MoveFileExW with or without
// MOVEFILE_REPLACE_EXISTING. A temporary that is being written is open without delete
// sharing, so deleting it fails with a sharing violation and it stays.
#include "platform/temporary_files.h"

#include <windows.h>

#include <string>

#include "platform/win32/long_paths.h"

namespace crvl::platform {
namespace {

std::u16string_view lastName(std::u16string_view path) noexcept {
  const size_t cut = path.find_last_of(u"\\/");
  return cut == path.npos ? path : path.substr(cut + 1);
}

}  // namespace

ErrorCode moveIntoPlace(std::u16string_view temporary, std::u16string_view target, bool replace) {
  // A NUL would end the name early and move the file somewhere else.
  if (temporary.find(u'\0') != temporary.npos || target.find(u'\0') != target.npos) return kErrorInvalidName;
  // The long form would create a file of a device's name, which no program could open.
  if (isReservedDeviceName(lastName(target))) return kErrorInvalidName;
  const std::wstring from = longSystemPath(temporary);
  const std::wstring to = longSystemPath(target);
  const DWORD flags = (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH;
  if (::MoveFileExW(from.c_str(), to.c_str(), flags)) return kSuccess;
  DWORD err = ::GetLastError();
  if (!replace) return err == ERROR_ALREADY_EXISTS ? DWORD{ERROR_FILE_EXISTS} : err;
  const DWORD found = ::GetFileAttributesW(to.c_str());
  if (found == INVALID_FILE_ATTRIBUTES || (found & FILE_ATTRIBUTE_DIRECTORY) != 0) return err;
  if (err == ERROR_ACCESS_DENIED && (found & FILE_ATTRIBUTE_READONLY) != 0) {
    // A read-only target is replaced once its read-only bit is cleared; the bit comes
    // back when the move fails.
    if (!::SetFileAttributesW(to.c_str(), found & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) return err;
    if (::MoveFileExW(from.c_str(), to.c_str(), flags)) return kSuccess;
    err = ::GetLastError();
    ::SetFileAttributesW(to.c_str(), found);
  }
  return err;
}

ErrorCode removeAbandonedTemporary(std::u16string_view path) {
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (!isTemporaryName(lastName(path))) return kErrorAccessDenied;
  const std::wstring p = longSystemPath(path);
  const DWORD attributes = ::GetFileAttributesW(p.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) return kErrorAccessDenied;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesW(p.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  if (::DeleteFileW(p.c_str())) return kSuccess;
  const DWORD err = ::GetLastError();
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) ::SetFileAttributesW(p.c_str(), attributes);
  return err;
}

}  // namespace crvl::platform
