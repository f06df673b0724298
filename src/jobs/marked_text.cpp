#include "jobs/marked_text.h"

#include "platform/text.h"

namespace crvl {
namespace {

unsigned byteAt(std::string_view bytes, size_t i) {
  return static_cast<unsigned char>(bytes[i]);
}

bool isContinuation(unsigned b) { return (b & 0xC0) == 0x80; }

// The per-unit decoder over `bytes`, except that complete four-byte sequences of
// standard UTF-8 (lead F0-F4) become surrogate pairs instead of garbage.
std::u16string decodeUtf8(std::string_view bytes) {
  std::u16string out;
  size_t segment = 0;
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned lead = byteAt(bytes, i);
    if (lead < 0x80) {
      i += 1;
    } else if (lead < 0xE0) {
      i += 2;
    } else if (lead < 0xF0 || lead > 0xF4 || i + 3 >= bytes.size() ||
               !isContinuation(byteAt(bytes, i + 1)) || !isContinuation(byteAt(bytes, i + 2)) ||
               !isContinuation(byteAt(bytes, i + 3))) {
      i += 3;
    } else {
      const char32_t cp = ((lead & 0x07u) << 18) | ((byteAt(bytes, i + 1) & 0x3Fu) << 12) |
                          ((byteAt(bytes, i + 2) & 0x3Fu) << 6) | (byteAt(bytes, i + 3) & 0x3Fu);
      if (cp < 0x10000 || cp > 0x10FFFF) {
        i += 3;
        continue;
      }
      out += platform::utf8ToUnits(bytes.substr(segment, i - segment));
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      i += 4;
      segment = i;
    }
  }
  if (segment < bytes.size()) out += platform::utf8ToUnits(bytes.substr(segment));
  return out;
}

}  // namespace

std::string encodeMarkedText(std::u16string_view text, bool utf8File) {
  if (utf8File) return platform::unitsToUtf8(text);
  if (platform::ansiRoundTrips(text)) {
    std::string bytes = platform::utf16ToAnsi(text);
    if (!bytes.starts_with(kUtf8Marker)) return bytes;
  }
  std::string bytes(kUtf8Marker);
  platform::appendUnitsAsUtf8(text, bytes);
  return bytes;
}

std::u16string decodeMarkedText(std::string_view bytes, bool utf8File) {
  const bool marked = bytes.starts_with(kUtf8Marker);
  if (marked) bytes.remove_prefix(kUtf8Marker.size());
  if (marked || utf8File) return decodeUtf8(bytes);
  return platform::ansiToUtf16(bytes);
}

}  // namespace crvl
