// Windows error codes and their system message texts.
#include "platform/errors.h"

#include <windows.h>

namespace crvl::platform {

ErrorCode lastSystemError() noexcept { return ::GetLastError(); }

std::u16string systemMessage(ErrorCode code) {
  wchar_t buffer[512];
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, /*lpSource=*/nullptr, code,
      /*dwLanguageId=*/0x400, buffer, 512, /*Arguments=*/nullptr);
  if (length == 0) return {};
  const DWORD kept = length > 511 ? 511 : length;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), kept);
}

std::u16string posixCause(ErrorCode) { return {}; }

ErrorCode messageCode(std::u16string_view) { return 0; }

}  // namespace crvl::platform
