// The portable part of the volume layer.
#include "platform/volumes.h"

namespace crvl::platform {

namespace {

int hexValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

uint32_t serialFromUuid(std::string_view uuid) noexcept {
  // Every hexadecimal digit counts; dashes and other separators are skipped.
  uint32_t words = 0;     // exclusive or of the complete 32-bit words
  uint32_t current = 0;   // the word being filled
  uint32_t lastWord = 0;  // the most recent complete word
  size_t digits = 0;
  for (char c : uuid) {
    int v = hexValue(c);
    if (v < 0) continue;
    current = (current << 4) | static_cast<uint32_t>(v);
    ++digits;
    if (digits % 8 == 0) {
      words ^= current;
      lastWord = current;
      current = 0;
    }
  }
  if (digits == 0) return 0;
  if (digits <= 8) return digits == 8 ? lastWord : current;
  // NTFS: Windows shows the low half of the 64-bit serial.
  if (digits == 16) return lastWord;
  return words ^ current;
}

}  // namespace crvl::platform
