// The text grammar of the program's INI files: lines ended by CR, LF or CR LF;
// "[name]" headers at the start of a line; "key = value" lines (no leading blanks; the
// key compared byte for byte); the first of two equal sections or keys counts. Every
// search here is one pass over the text it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace crvl::ini {

inline constexpr std::string_view kLineEnd = "\r\n";

[[nodiscard]] inline bool isLineEndByte(char c) noexcept { return c == '\r' || c == '\n'; }
[[nodiscard]] inline bool isBlank(char c) noexcept { return c == ' ' || c == '\t'; }

// The end of the line that starts at `pos` (its first CR or LF, or the end).
[[nodiscard]] size_t lineEnd(std::string_view t, size_t pos) noexcept;
// The start of the next line (past CR LF, a lone CR or a lone LF).
[[nodiscard]] size_t nextLine(std::string_view t, size_t pos) noexcept;
// The first line begins after a UTF-8 byte order mark, so that a file saved as UTF-8
// by an editor still shows its first section.
[[nodiscard]] size_t firstLine(std::string_view t) noexcept;
// When the text before `pos` ends with a blank line, the position of that blank line's
// terminator; else `pos`. Used so that the blank line before the next section stays.
[[nodiscard]] size_t beforeTrailingBlankLine(std::string_view t, size_t pos) noexcept;

struct SectionSpan {
  size_t header;  // start of the header line
  size_t body;    // start of the first line after it
  size_t end;     // start of the next line beginning with '[', or the end of the text
};

struct KeySpan {
  size_t line;      // start of the key line
  size_t value;     // first byte of the value
  size_t valueEnd;  // the line's CR, LF or the end of the text
  size_t next;      // start of the next line
};

// The start of the next line that begins with '[' at or after `body`, or the end.
[[nodiscard]] size_t sectionEnd(std::string_view t, size_t body) noexcept;
// The first section of that name (byte for byte).
[[nodiscard]] std::optional<SectionSpan> findSection(std::string_view t, std::string_view name);
// The key line at `ls` when it holds `key`, blanks, '=' (and the value after blanks).
[[nodiscard]] std::optional<KeySpan> matchKey(std::string_view t, size_t ls, std::string_view key);
// The first line of the section that holds `key`.
[[nodiscard]] std::optional<KeySpan> findKey(std::string_view t, const SectionSpan& s, std::string_view key);

// Whether the text holds a CR, LF or NUL (which would break the line structure).
[[nodiscard]] bool holdsLineBreak(std::string_view s) noexcept;

// Whether a section name, key and value can be written without changing the file's
// structure: no CR, LF or NUL anywhere; no ']' in the section name; a key that is not
// empty, does not begin with '[', holds no '=' and does not end in a blank.
[[nodiscard]] bool writable(std::string_view section, std::string_view key, std::string_view value);

// An unsigned decimal number (a leading '-' gives the two's complement); digits beyond
// 32 bits wrap around like the C parse; the first other character ends the number.
[[nodiscard]] uint32_t parseUnsigned(std::string_view s) noexcept;

// Copies the lines of the section into `body` (enumeration runs over a copy, since the
// callback may change the text); false when there is no such section or no memory.
[[nodiscard]] bool copySectionBody(std::string_view t, std::string_view section, std::string& body);

// Visits the key lines of `body` with (key, value) until `visit` answers non-zero;
// returns the number of calls. A line counts when it holds '=' after a non-empty key
// (blanks before '=' are not part of the key).
template <typename Visit>
int visitSection(std::string_view body, Visit visit) {
  int calls = 0;
  for (size_t ls = 0; ls < body.size(); ls = nextLine(body, ls)) {
    const size_t le = lineEnd(body, ls);
    // The '=' is looked for within the line only, so that long runs of lines without
    // one cost no more than reading them.
    const size_t inLine = body.substr(ls, le - ls).find('=');
    if (inLine == body.npos) continue;
    const size_t eq = ls + inLine;
    size_t keyEnd = eq;
    while (keyEnd > ls && isBlank(body[keyEnd - 1])) --keyEnd;
    if (keyEnd == ls) continue;
    size_t v = eq + 1;
    while (v < le && isBlank(body[v])) ++v;
    ++calls;
    if (visit(body.substr(ls, keyEnd - ls), body.substr(v, le - v)) != 0) break;
  }
  return calls;
}

}  // namespace crvl::ini
