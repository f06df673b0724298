#include "platform/file_replace.h"

#include <windows.h>

#include <string>

namespace crvl::platform {

ErrorCode replaceFile(std::u16string_view from, std::u16string_view to) {
  const std::u16string source(from);
  const std::u16string target(to);
  if (MoveFileExW(reinterpret_cast<const wchar_t*>(source.c_str()),
                  reinterpret_cast<const wchar_t*>(target.c_str()),
                  MOVEFILE_REPLACE_EXISTING)) {
    return kSuccess;
  }
  return GetLastError();
}

}  // namespace crvl::platform
