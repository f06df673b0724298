// The long path form handed to the W functions, shared by the Windows platform files.
#pragma once

#include <string>
#include <string_view>

#include "platform/paths.h"

namespace crvl::platform {

// `path` in the form the W functions accept at any length ("\\?\" from 260 characters).
inline std::wstring longSystemPath(std::u16string_view path) {
  const std::u16string p = toLongPath(path);
  return std::wstring(reinterpret_cast<const wchar_t*>(p.data()), p.size());
}

}  // namespace crvl::platform
