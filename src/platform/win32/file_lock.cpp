#include "platform/file_lock.h"

#include <windows.h>

#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/handles.h"
#include "platform/win32/long_paths.h"

namespace crvl::platform {
namespace {

HANDLE openLockFile(const std::wstring& path) {
  // Opened without following a reparse point at the last component.
  return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, /*lpSecurityAttributes=*/nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                       /*hTemplateFile=*/nullptr);
}

}  // namespace

ErrorCode FileLock::tryLock(std::u16string_view path) {
  unlock();
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  const std::wstring p = longSystemPath(path);
  UniqueFile file(openLockFile(p));
  if (!file && (::GetLastError() == ERROR_PATH_NOT_FOUND) && !folderOf(path).empty()) {
    (void)createFolderChain(folderOf(path));
    file.reset(openLockFile(p));
  }
  if (!file) return lastFailure(kErrorAccessDenied);
  OVERLAPPED at{};
  if (!::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, /*dwReserved=*/0,
                    /*nNumberOfBytesToLockLow=*/1, /*nNumberOfBytesToLockHigh=*/0, &at)) {
    const DWORD err = ::GetLastError();
    return err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING ? DWORD{kErrorLockViolation} : err;
  }
  handle_ = reinterpret_cast<intptr_t>(file.release());
  return kSuccess;
}

void FileLock::unlock() noexcept {
  if (handle_ == kNone) return;
  // Closing the handle releases the lock.
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNone;
}

bool FileLock::removeIfFree(std::u16string_view) { return false; }

}  // namespace crvl::platform
