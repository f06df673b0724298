// MarkedText: how a UTF-16 value is stored as bytes. The ANSI code-page bytes when the
// text survives the round trip; otherwise EF BB BF followed by the per-code-unit UTF-8
// form (each UTF-16 unit on its own, surrogate halves included).
#pragma once

#include <string>
#include <string_view>

namespace crvl {

inline constexpr std::string_view kUtf8Marker = "\xEF\xBB\xBF";

// The stored bytes of a UTF-16 value.
[[nodiscard]] std::string encodeMarkedText(std::u16string_view text);

// Reads stored bytes as UTF-16: as UTF-8 when `utf8File` (the file began with the
// marker) or when the value begins with the marker (which is dropped); else from the
// ANSI code page.
[[nodiscard]] std::u16string decodeMarkedText(std::string_view bytes, bool utf8File = false);

}  // namespace crvl
