#include "platform/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "os_traits.h"

namespace crvl::platform {
namespace {

// Every code the program can produce has a system text of one or more lines, each
// ended by CR LF. (Wine's message table lacks a few codes: under the Windows build only
// the common ones must have a text.)
TEST(SystemMessage, EveryKnownCodeHasATextEndedByCrLf) {
  const ErrorCode codes[] = {
      kErrorInvalidFunction, kErrorFileNotFound, kErrorPathNotFound, kErrorTooManyOpenFiles,
      kErrorAccessDenied, kErrorInvalidHandle, kErrorNotEnoughMemory, kErrorInvalidData,
      kErrorOutOfMemory, kErrorNotSameDevice, kErrorNoMoreFiles, kErrorWriteProtect,
      kErrorNotReady, kErrorCrc, kErrorWriteFault, kErrorReadFault, kErrorGenFailure,
      kErrorSharingViolation, kErrorLockViolation, kErrorHandleEof, kErrorHandleDiskFull,
      kErrorNotSupported, kErrorBadNetPath, kErrorNetworkBusy, kErrorBadNetName,
      kErrorFileExists, kErrorCannotMake, kErrorInvalidParameter, kErrorBrokenPipe,
      kErrorOpenFailed, kErrorBufferOverflow, kErrorDiskFull, kErrorCallNotImplemented,
      kErrorInsufficientBuffer, kErrorInvalidName, kErrorModNotFound, kErrorProcNotFound,
      kErrorDirNotEmpty, kErrorBusy, kErrorBadPathname, kErrorAlreadyExists,
      kErrorFilenameExcedRange, kErrorBadExeFormat, kErrorFileTooLarge, kErrorVirusInfected,
      kErrorDirectory, kErrorNotALink, kErrorTimeout, kErrorDllInitFailed, kErrorIoDevice, kErrorCancelled,
      kErrorNoMediaInDrive, kErrorOperationAborted, kErrorRequestAborted, kErrorContinue,
      kErrorNotFound, kErrorInvalidOwner, kErrorPrivilegeNotHeld, kErrorInvalidWindowHandle,
      kErrorInvalidMenuHandle, kErrorCantResolveFilename,
  };
  const ErrorCode common[] = {2, 3, 5, 21, 32, 87, 112, 145, 183, 1235};
  for (ErrorCode code : codes) {
    const std::u16string text = systemMessage(code);
    const bool mustHaveText =
        !os::kWindows || std::find(std::begin(common), std::end(common), code) != std::end(common);
    if (text.empty() && !mustHaveText) continue;
    ASSERT_GE(text.size(), 3u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n") << code;
    EXPECT_NE(text[text.size() - 3], u'\r') << code;
    EXPECT_LE(text.size(), 511u) << code;
  }
}

TEST(SystemMessage, UnknownCodeGivesNoText) {
  EXPECT_EQ(systemMessage(0x7FFFABCDu), u"");
}

// The exact English texts (the Windows build takes them from the system, whose
// language and wording may differ, so they are checked on POSIX only).
TEST(SystemMessage, EnglishTexts) {
  if constexpr (os::kWindows) GTEST_SKIP() << "texts come from the system";
  struct Case {
    ErrorCode code;
    std::u16string text;
  };
  const Case cases[] = {
      {2, u"The system cannot find the file specified.\r\n"},
      {3, u"The system cannot find the path specified.\r\n"},
      {5, u"Access is denied.\r\n"},
      {21, u"The device is not ready.\r\n"},
      {112, u"There is not enough space on the disk.\r\n"},
      {145, u"The directory is not empty.\r\n"},
      {183, u"Cannot create a file when that file already exists.\r\n"},
      {193, u"%1 is not a valid Win32 application.\r\n"},  // inserts are left as written
      {1235, u"The request was aborted.\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(systemMessage(c.code), c.text) << c.code;
}

}  // namespace
}  // namespace crvl::platform
