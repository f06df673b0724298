// Text conversions through the system's ANSI code page.
#include "platform/text.h"

#include <windows.h>

#include <climits>

namespace crvl::platform {
namespace {

const wchar_t* wide(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

// The conversion calls take int lengths; longer texts are converted in pieces.
constexpr size_t kPiece = 1u << 28;

}  // namespace

uint32_t ansiCodePage() noexcept { return ::GetACP(); }

void refreshAnsiCodePage() noexcept {}

std::u16string ansiToUtf16(std::string_view bytes) {
  std::u16string out;
  while (!bytes.empty()) {
    const std::string_view piece = bytes.substr(0, kPiece);
    bytes.remove_prefix(piece.size());
    const int n = static_cast<int>(piece.size());
    const int need = ::MultiByteToWideChar(CP_ACP, 0, piece.data(), n, nullptr, 0);
    if (need <= 0) continue;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(need));
    const int done = ::MultiByteToWideChar(CP_ACP, 0, piece.data(), n,
                                           reinterpret_cast<wchar_t*>(&out[at]), need);
    out.resize(at + static_cast<size_t>(done > 0 ? done : 0));
  }
  return out;
}

std::string utf16ToAnsi(std::u16string_view text, bool* exact) {
  std::string out;
  bool all = true;
  // Best-fit mapping would turn a character into a look-alike silently; without it a
  // unit that has no byte becomes the default character '?'.
  const DWORD flags = ::GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  std::u16string_view rest = text;
  while (!rest.empty()) {
    const std::u16string_view piece = rest.substr(0, kPiece);
    rest.remove_prefix(piece.size());
    const int n = static_cast<int>(piece.size());
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = flags == 0 ? nullptr : &usedDefault;
    const int need = ::WideCharToMultiByte(CP_ACP, flags, wide(piece), n, nullptr, 0,
                                           /*lpDefaultChar=*/nullptr, nullptr);
    if (need <= 0) {
      all = false;
      continue;
    }
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(need));
    const int done = ::WideCharToMultiByte(CP_ACP, flags, wide(piece), n, &out[at], need,
                                           /*lpDefaultChar=*/nullptr, usedDefaultOut);
    out.resize(at + static_cast<size_t>(done > 0 ? done : 0));
    if (usedDefault) all = false;
  }
  if (exact != nullptr) {
    // The round trip is the final word: a page may map several units to one byte.
    *exact = all && ansiToUtf16(out) == text;
  }
  return out;
}

bool ansiRoundTrips(std::u16string_view text) {
  bool exact = false;
  (void)utf16ToAnsi(text, &exact);
  return exact;
}

}  // namespace crvl::platform
