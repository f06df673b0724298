#include "platform/file_replace.h"

#include <windows.h>

#include <string>

#include "engine/path_forms.h"

namespace crvl::platform {

ErrorCode replaceFile(std::u16string_view from, std::u16string_view to) {
  // Paths of 260 characters or more need their long forms.
  const std::u16string source = toLongPath(from);
  const std::u16string target = toLongPath(to);
  if (MoveFileExW(reinterpret_cast<const wchar_t*>(source.c_str()),
                  reinterpret_cast<const wchar_t*>(target.c_str()),
                  MOVEFILE_REPLACE_EXISTING)) {
    return kSuccess;
  }
  return GetLastError();
}

}  // namespace crvl::platform
