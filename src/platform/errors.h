// Windows error codes: the result of every operation that can fail, on both builds.
// 0 is success. On POSIX, errno values are turned into these codes in exactly one
// place (mapErrno).
#pragma once

#include <cstdint>
#include <string>

namespace crvl {

using ErrorCode = uint32_t;

enum : ErrorCode {
  kSuccess = 0,
  kErrorInvalidFunction = 1,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidData = 13,
  kErrorOutOfMemory = 14,
  kErrorNotSameDevice = 17,
  kErrorNoMoreFiles = 18,
  kErrorWriteProtect = 19,
  kErrorNotReady = 21,
  kErrorCrc = 23,
  kErrorWriteFault = 29,
  kErrorReadFault = 30,
  kErrorGenFailure = 31,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorHandleEof = 38,
  kErrorHandleDiskFull = 39,
  kErrorNotSupported = 50,
  kErrorBadNetPath = 53,
  kErrorNetworkBusy = 54,
  kErrorBadNetName = 67,
  kErrorFileExists = 80,
  kErrorCannotMake = 82,
  kErrorInvalidParameter = 87,
  kErrorBrokenPipe = 109,
  kErrorOpenFailed = 110,
  kErrorBufferOverflow = 111,
  kErrorDiskFull = 112,
  kErrorCallNotImplemented = 120,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidName = 123,
  kErrorModNotFound = 126,
  kErrorProcNotFound = 127,
  kErrorDirNotEmpty = 145,
  kErrorBusy = 170,
  kErrorBadPathname = 161,
  kErrorAlreadyExists = 183,
  kErrorFilenameExcedRange = 206,
  kErrorBadExeFormat = 193,
  kErrorFileTooLarge = 223,
  kErrorVirusInfected = 225,
  kErrorDirectory = 267,
  kErrorNotALink = 4390,  // the entry is not a reparse point
  kErrorTimeout = 1460,
  kErrorDllInitFailed = 1114,
  kErrorIoDevice = 1117,
  kErrorCancelled = 1223,
  kErrorNoMediaInDrive = 1112,
  kErrorOperationAborted = 995,
  kErrorRequestAborted = 1235,
  kErrorContinue = 1246,
  kErrorNotFound = 1168,
  kErrorInvalidOwner = 1307,
  kErrorPrivilegeNotHeld = 1314,
  kErrorInvalidWindowHandle = 1400,
  kErrorInvalidMenuHandle = 1401,
  kErrorCantResolveFilename = 1921,
  kErrorStopped = kErrorRequestAborted,
};

// Results 0 and 1246 (a plug-in's "continue") both count as success.
[[nodiscard]] constexpr bool succeeded(ErrorCode code) noexcept {
  return code == kSuccess || code == kErrorContinue;
}

namespace platform {

// The program's result for a failure that the system reported as `code`: 0 (no code)
// and 1401 become `unknown` (the caller's code for that kind of failure: 5 for an open,
// 3 for a listing, 112 for a write, ...), 225 (blocked as infected) becomes 30, 1223
// (cancelled) becomes 1235; every other code stays.
[[nodiscard]] constexpr ErrorCode failureResult(ErrorCode code, ErrorCode unknown) noexcept {
  switch (code) {
    case kSuccess:
    case kErrorInvalidMenuHandle: return unknown;
    case kErrorVirusInfected: return kErrorReadFault;
    case kErrorCancelled: return kErrorRequestAborted;
    default: return code;
  }
}

// The calling thread's last system error as a Windows error code
// (Windows: GetLastError(); POSIX: errno through mapErrno).
[[nodiscard]] ErrorCode lastSystemError() noexcept;

// The system's message text for a Windows error code, in the form FormatMessageW
// gives it from the system table (language 0x400, trailing CR LF included).
// On POSIX the text comes from a built-in table of the same English texts for every
// code the program produces; an unknown code gives an empty text.
// The result holds at most 511 characters.
[[nodiscard]] std::u16string systemMessage(ErrorCode code);

// POSIX: the system's own words for the cause of a failure with `code`
// ("Operation not permitted", "No such file or directory"): those of the errno this
// thread last turned into `code`, else of the errno that most often gives it; empty for
// 0 and for a code no errno gives. Windows: always empty (the message is the system's).
[[nodiscard]] std::u16string posixCause(ErrorCode code);

// The code whose system message is `text` (with or without its line end); 0 when no
// code of the message table has it. Windows: always 0.
[[nodiscard]] ErrorCode messageCode(std::u16string_view text);

}  // namespace platform
}  // namespace crvl
