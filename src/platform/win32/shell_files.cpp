// The shell's file work on Windows: SHFileOperationW for the recycle bin, the rename
// fallback and the deletion fallback, CopyFileExW with progress, and the process's
// current folder and error mode.
#include "platform/shell_files.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/paths.h"
#include "platform/win32/file_system.h"

namespace crvl::platform {

using win32::longPath;

void leaveCurrentFolder() {
  wchar_t windows[MAX_PATH + 1];
  const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return;
  const std::u16string root = rootOf(std::u16string_view(reinterpret_cast<const char16_t*>(windows), n));
  if (!root.empty()) ::SetCurrentDirectoryW(reinterpret_cast<const wchar_t*>(root.c_str()));
}

ErrorCode win32::shellOperation(UINT function, std::u16string_view from, std::u16string_view to, FILEOP_FLAGS flags) {
  std::wstring source = longPath(from);
  source.push_back(L'\0');  // each list ends with two zeros
  std::wstring target;
  if (function != FO_DELETE) {
    target = longPath(to);
    target.push_back(L'\0');
  }
  SHFILEOPSTRUCTW op{};
  op.wFunc = function;
  op.pFrom = source.c_str();
  op.pTo = function != FO_DELETE ? target.c_str() : nullptr;
  op.fFlags = flags;
  ::SetLastError(0);
  const int r = ::SHFileOperationW(&op);
  if (op.fAnyOperationsAborted) return kErrorRequestAborted;
  if (r == 0) return 0;
  // Without a system code the shell's own code is the result; its codes from 35 on
  // are no system codes.
  return failureResult(::GetLastError(), r >= 35 ? kErrorAccessDenied : static_cast<ErrorCode>(r));
}

ErrorCode recycleFile(std::u16string_view path) {
  return win32::shellOperation(FO_DELETE, path, {}, FOF_ALLOWUNDO | FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
}

ErrorCode shellRename(std::u16string_view oldPath, std::u16string_view newPath) {
  return win32::shellOperation(FO_RENAME, oldPath, newPath, FOF_SILENT | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI);
}

uint32_t setProcessErrorMode(uint32_t mode) noexcept { return ::SetErrorMode(mode); }

bool systemCopyAvailable() noexcept { return true; }

namespace {
struct CopyState {
  CopyChunkCallback callback;
  void* context;
  BOOL cancel;
  DWORD stream;
  uint64_t done;
};

DWORD CALLBACK copyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER streamDone,
                            DWORD streamNumber, DWORD, HANDLE, HANDLE, LPVOID data) {
  auto* state = static_cast<CopyState*>(data);
  if (streamNumber > 1) return PROGRESS_CONTINUE;  // only the first data stream counts
  if (state->stream != streamNumber) {
    state->stream = streamNumber;
    state->done = 0;
  }
  const uint64_t total = static_cast<uint64_t>(streamDone.QuadPart);
  const uint64_t delta = total >= state->done ? total - state->done : 0;
  state->done = total;
  if (state->callback != nullptr && state->callback(state->context, delta) != 0) {
    state->cancel = TRUE;
    return PROGRESS_CANCEL;
  }
  return PROGRESS_CONTINUE;
}
}  // namespace

ErrorCode systemCopyFile(std::u16string_view source, std::u16string_view target, CopyChunkCallback callback,
                         void* context) {
  CopyState state{callback, context, FALSE, 0, 0};
  if (::CopyFileExW(longPath(source).c_str(), longPath(target).c_str(), &copyProgress, &state, &state.cancel,
                    COPY_FILE_FAIL_IF_EXISTS)) {
    return 0;
  }
  const DWORD e = ::GetLastError();
  if (state.cancel || e == ERROR_REQUEST_ABORTED) return kErrorRequestAborted;
  return e;
}

}  // namespace crvl::platform
