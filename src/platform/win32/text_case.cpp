// Case-insensitive names on Windows: the user's locale through CompareStringW.
#include <windows.h>

#include <climits>

#include "platform/text.h"

namespace crvl::platform {
namespace {

constexpr DWORD kNameFlags = NORM_IGNORECASE | NORM_IGNOREKANATYPE;

const wchar_t* wide(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

}  // namespace

bool namesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return false;
  return ::CompareStringW(LOCALE_USER_DEFAULT, kNameFlags, wide(a), static_cast<int>(a.size()),
                          wide(b), static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The key is the locale's sort key under the same flags as namesEqual: sort keys are
// equal exactly when CompareStringW answers equal, so no equal pair of names can get
// different keys (characters the comparison ignores are ignored by the key as well).
void appendFoldKey(std::u16string_view name, std::u16string& out) {
  if (name.empty()) return;
  if (name.size() <= INT_MAX / 8) {
    const int length = static_cast<int>(name.size());
    unsigned char local[1024];
    std::string heap;
    unsigned char* key = local;
    int capacity = static_cast<int>(sizeof(local));
    if (length * 6 + 64 > capacity) {
      capacity = length * 8 + 64;
      heap.resize(static_cast<size_t>(capacity));
      key = reinterpret_cast<unsigned char*>(heap.data());
    }
    const int bytes = ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | kNameFlags, wide(name),
                                     length, reinterpret_cast<wchar_t*>(key), capacity);
    if (bytes > 0) {
      out.reserve(out.size() + static_cast<size_t>(bytes + 1) / 2);
      for (int i = 0; i < bytes; i += 2) {
        const unsigned hi = key[i];
        const unsigned lo = i + 1 < bytes ? key[i + 1] : 0u;
        out.push_back(static_cast<char16_t>((hi << 8) | lo));
      }
      return;
    }
  }
  // Without a sort key, the upper case is the next best key.
  out.append(toUpper(name));
}

std::u16string toUpper(std::u16string_view text) {
  std::u16string out(text);
  char16_t* p = out.data();
  size_t left = out.size();
  while (left > 0) {
    const DWORD piece = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    ::CharUpperBuffW(reinterpret_cast<wchar_t*>(p), piece);
    p += piece;
    left -= piece;
  }
  return out;
}

char16_t toUpper(char16_t c) noexcept {
  wchar_t buffer[1] = {static_cast<wchar_t>(c)};
  ::CharUpperBuffW(buffer, 1);
  return static_cast<char16_t>(buffer[0]);
}

bool sameFileName(std::u16string_view a, std::u16string_view b) { return namesEqual(a, b); }

}  // namespace crvl::platform
