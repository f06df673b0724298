// Text conversions and comparisons. The core keeps text as UTF-16 (char16_t).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace crvl::platform {

// The system ANSI code page (Windows: GetACP(); POSIX: 1252, or the single-byte page
// named by the environment variable CRVL_CODEPAGE).
[[nodiscard]] uint32_t ansiCodePage() noexcept;

// Reads the code page setting again (POSIX: CRVL_CODEPAGE, which is otherwise read once
// per process). No effect on Windows, whose code page is fixed for the process.
void refreshAnsiCodePage() noexcept;

// 8-bit text in the ANSI code page to UTF-16. Never fails; every byte gives one unit.
[[nodiscard]] std::u16string ansiToUtf16(std::string_view bytes);

// UTF-16 to the ANSI code page. A unit without a mapping becomes '?' and sets
// *exact to false (when given); *exact is true when every unit mapped.
[[nodiscard]] std::string utf16ToAnsi(std::u16string_view text, bool* exact = nullptr);

// Whether the text survives the trip to the ANSI code page and back unchanged.
[[nodiscard]] bool ansiRoundTrips(std::u16string_view text);

// The per-code-unit UTF-8 form of stored text: every UTF-16 unit on its own becomes
// one byte (below 0x80), two bytes (below 0x800) or three bytes (all others, each
// surrogate half included). Appends to `out`.
void appendUnitsAsUtf8(std::u16string_view text, std::string& out);
[[nodiscard]] std::string unitsToUtf8(std::u16string_view text);

// The matching decoder: one-, two- and three-byte sequences give one unit each (a
// surrogate half included); a complete four-byte sequence of standard UTF-8 (which
// other editors write) gives a surrogate pair; every byte that begins no complete
// sequence (an overlong lead such as C0, a stray continuation, a sequence cut off)
// becomes the lone surrogate U+DC00 + byte. Never reads past `bytes`.
[[nodiscard]] std::u16string utf8ToUnits(std::string_view bytes);

// Standard UTF-8 <-> UTF-16 for texts (language files, a non-console output on Windows).
// Invalid input becomes U+FFFD; unpaired surrogates are encoded as U+FFFD.
[[nodiscard]] std::u16string fromUtf8(std::string_view bytes);
[[nodiscard]] std::string toUtf8(std::u16string_view text);

// The byte strings of a POSIX system (file names, command-line arguments, environment
// values, terminal output) as UTF-16, byte for byte reversible. Valid UTF-8 is decoded
// as usual; every byte b that is not part of valid UTF-8 becomes the lone low surrogate
// U+DC00 + b (U+DC80 to U+DCFF), and such a lone surrogate is encoded back to the byte
// b. A folder named with the byte E9 is therefore read as U+DCE9 and created as E9.
// Other unpaired surrogates (never the result of decoding) are encoded as U+FFFD.
[[nodiscard]] std::u16string fromSystemBytes(std::string_view bytes);
[[nodiscard]] std::string toSystemBytes(std::u16string_view text);

// Case-insensitive equality in the user's locale (Windows: CompareStringW with
// NORM_IGNORECASE | NORM_IGNOREKANATYPE, equal only on CSTR_EQUAL; POSIX: full Unicode
// simple case folding, hiragana and katakana counted the same).
[[nodiscard]] bool namesEqual(std::u16string_view a, std::u16string_view b);

// Whether two file names (or paths given alike) name the same entry by this system's
// rules: Windows without regard to case (namesEqual); POSIX, whose file names are case
// sensitive, only when they are identical.
[[nodiscard]] bool sameFileName(std::u16string_view a, std::u16string_view b);

// Appends a key for `name` such that namesEqual(a, b) implies equal keys (used to hash
// names; equal keys still need namesEqual to confirm a match). The key is opaque, for
// hashing and comparing only: on Windows it is the locale's sort key under the flags of
// namesEqual, on POSIX the case-folded name with katakana turned into hiragana.
void appendFoldKey(std::u16string_view name, std::u16string& out);

// Upper-cases text by the system's rules (CharUpperBuffW on Windows).
[[nodiscard]] std::u16string toUpper(std::u16string_view text);
[[nodiscard]] char16_t toUpper(char16_t c) noexcept;

}  // namespace crvl::platform
