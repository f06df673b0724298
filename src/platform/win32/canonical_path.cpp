#include "platform/canonical_path.h"

#include <windows.h>

#include <string>

#include "platform/paths.h"

namespace crvl::platform {
namespace {

// A call that fills a buffer and answers the length it needs when the buffer is short.
template <typename Call>
bool filled(Call call, std::u16string& out) {
  out.assign(MAX_PATH, u'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = call(reinterpret_cast<wchar_t*>(out.data()), static_cast<DWORD>(out.size()));
    if (n == 0) return false;
    if (n < out.size()) {
      out.resize(n);
      return true;
    }
    out.assign(n + 1, u'\0');
  }
  return false;
}

}  // namespace

std::u16string canonicalFilePath(std::u16string_view path) {
  const std::u16string given(path);
  std::u16string full;
  if (!filled([&](wchar_t* b, DWORD n) { return ::GetFullPathNameW(reinterpret_cast<const wchar_t*>(given.c_str()), n, b, nullptr); },
              full)) {
    return given;
  }
  std::u16string longName;
  if (filled([&](wchar_t* b, DWORD n) { return ::GetLongPathNameW(reinterpret_cast<const wchar_t*>(full.c_str()), b, n); },
             longName)) {
    return longName;
  }
  return full;
}

}  // namespace crvl::platform
