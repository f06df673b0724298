// MarkedText: how a UTF-16 value is stored as bytes. The ANSI code-page bytes when the
// text survives the round trip; otherwise EF BB BF followed by the per-code-unit UTF-8
// form (each UTF-16 unit on its own, surrogate halves included).
#pragma once

#include <string>
#include <string_view>

namespace crvl {

inline constexpr std::string_view kUtf8Marker = "\xEF\xBB\xBF";

// The stored bytes of a UTF-16 value. Code-page bytes that would themselves begin with
// the marker are stored in the marked form, so that they read back unchanged.
// With `utf8File` (the value goes into a file that began with the marker, where every
// value is read as UTF-8) the per-unit UTF-8 form is stored without the marker, except
// before a text that itself begins with U+FEFF (which the reader would take as one).
[[nodiscard]] std::string encodeMarkedText(std::u16string_view text, bool utf8File = false);

// Reads stored bytes as UTF-16: as UTF-8 when `utf8File` (the file began with the
// marker) or when the value begins with the marker (which is dropped); else from the
// ANSI code page. The UTF-8 reading takes the per-unit form; four-byte sequences, which
// only other editors write, become surrogate pairs; broken bytes become U+DC00 + byte.
[[nodiscard]] std::u16string decodeMarkedText(std::string_view bytes, bool utf8File = false);

}  // namespace crvl
