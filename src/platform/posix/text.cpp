// The ANSI code page on POSIX: Windows-1252 by default, so that job files, settings
// and logs move between the builds unchanged; CRVL_CODEPAGE=28591 selects ISO-8859-1.
#include "platform/text.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace crvl::platform {
namespace {

constexpr uint32_t kWindows1252 = 1252;
constexpr uint32_t kLatin1 = 28591;

// Bytes 0x80-0x9F of Windows-1252. The five bytes without a character (81 8D 8F 90 9D)
// stand for the C1 controls of the same value, as the Windows tables map them.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

uint32_t readCodePageSetting() noexcept {
  const char* value = std::getenv("CRVL_CODEPAGE");
  if (value == nullptr) return kWindows1252;
  if (std::strcmp(value, "28591") == 0) return kLatin1;
  return kWindows1252;  // unsupported pages fall back to the default
}

std::atomic<uint32_t>& codePage() noexcept {
  static std::atomic<uint32_t> page{readCodePageSetting()};
  return page;
}

char16_t byteToUnit(uint32_t page, unsigned char b) noexcept {
  if (page == kWindows1252 && b >= 0x80 && b < 0xA0) return k1252High[b - 0x80];
  return b;
}

// The byte for a unit, or -1 when the page has none.
int unitToByte(uint32_t page, char16_t u) noexcept {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
  if (page == kLatin1) return u <= 0xFF ? u : -1;
  for (int i = 0; i < 32; ++i) {
    if (k1252High[i] == u) return 0x80 + i;
  }
  return -1;
}

}  // namespace

uint32_t ansiCodePage() noexcept { return codePage().load(std::memory_order_relaxed); }

void refreshAnsiCodePage() noexcept {
  codePage().store(readCodePageSetting(), std::memory_order_relaxed);
}

std::u16string ansiToUtf16(std::string_view bytes) {
  const uint32_t page = ansiCodePage();
  std::u16string out;
  out.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    out[i] = byteToUnit(page, static_cast<unsigned char>(bytes[i]));
  }
  return out;
}

std::string utf16ToAnsi(std::u16string_view text, bool* exact) {
  const uint32_t page = ansiCodePage();
  std::string out;
  out.resize(text.size());
  bool all = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const int b = unitToByte(page, text[i]);
    if (b < 0) {
      all = false;
      out[i] = '?';
    } else {
      out[i] = static_cast<char>(b);
    }
  }
  if (exact != nullptr) *exact = all;
  return out;
}

bool ansiRoundTrips(std::u16string_view text) {
  const uint32_t page = ansiCodePage();
  for (char16_t u : text) {
    if (unitToByte(page, u) < 0) return false;
  }
  return true;
}

}  // namespace crvl::platform
