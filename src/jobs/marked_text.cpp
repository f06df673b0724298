#include "jobs/marked_text.h"

#include "platform/text.h"

namespace crvl {

std::string encodeMarkedText(std::u16string_view text, bool utf8File) {
  if (utf8File) {
    // A text that itself begins with U+FEFF keeps it behind a marker of its own, since
    // the reader drops the first marker.
    std::string bytes = text.starts_with(u'\uFEFF') ? std::string(kUtf8Marker) : std::string();
    platform::appendUnitsAsUtf8(text, bytes);
    return bytes;
  }
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
  if (marked || utf8File) return platform::utf8ToUnits(bytes);
  return platform::ansiToUtf16(bytes);
}

}  // namespace crvl
