// The seven job log formats and the cell encodings they use: plain text, ';'-separated
// values and HTML tables with entity escaping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace crvl {

// A job log format, 1 to 7 (stored as "ExpMode").
using LogFormat = int32_t;
enum : LogFormat {
  kLogFormatText = 1,
  kLogFormatTextUnicode = 2,
  kLogFormatCsv = 3,
  kLogFormatCsvUnicode = 4,
  kLogFormatHtml = 5,
  kLogFormatHtmlUnicode = 6,
  kLogFormatHtmlUtf8 = 7,
};
inline constexpr LogFormat kFallbackLogFormat = kLogFormatHtmlUnicode;
inline constexpr int kLogFormatCount = 7;

// How the bytes of a log file encode its text.
enum class LogEncoding : uint8_t { Ansi, Utf16, Utf8 };

struct LogFormatInfo {
  const char16_t* name;     // entry of the "Log as" list, never translated
  const char16_t* pattern;  // "*.txt", "*.csv" or "*.htm"
  LogEncoding encoding;
  std::string_view byteOrderMark;  // empty for the ANSI formats
};

// The entry of format 1-7, or nullptr for any other value.
[[nodiscard]] const LogFormatInfo* logFormatInfo(LogFormat format) noexcept;

// The extension of a format without "*." ("txt", "csv", "htm"); empty for other values.
[[nodiscard]] std::u16string_view logFormatExtension(LogFormat format) noexcept;

// The format a stored "ExpMode" value stands for: 0, a value above 7 and a negative
// value (which reads back as a large unsigned number) all mean 6.
[[nodiscard]] LogFormat logFormatFromSetting(uint32_t stored) noexcept;

[[nodiscard]] inline bool isHtmlFormat(LogFormat f) noexcept { return f >= 5 && f <= 7; }
[[nodiscard]] inline bool isCsvFormat(LogFormat f) noexcept { return f == 3 || f == 4; }

// One row of the HTML entity table: a byte of the ANSI code page and its entity.
struct HtmlEntityRow {
  uint8_t key;
  const char* entity;
};
inline constexpr size_t kHtmlEntityRowCount = 105;
// The 105 rows in lookup order.
[[nodiscard]] const HtmlEntityRow* htmlEntityRows() noexcept;

// The entity of the first row whose key (turned into UTF-16 through the ANSI code page,
// once per process) equals `c`, or nullptr.
[[nodiscard]] const char* htmlEntityFor(char16_t c) noexcept;

// Escapes `text` for an HTML cell of `capacity` characters (terminating zero included):
// table entities first, "&#N;" for any other unit above 128, every other unit as it is;
// one UTF-16 unit at a time. When the escaped text does not fit, it is cut after the
// last whole character or entity that fits and the result is kErrorInsufficientBuffer;
// `out` holds the cut text either way.
[[nodiscard]] ErrorCode escapeHtml(std::u16string_view text, size_t capacity,
                                   std::u16string& out);

// Appends one CSV cell: ';' before it unless `first`; a cell that contains ';' or '"'
// is enclosed in double quotes (inner quotes stay single).
void appendCsvCell(std::u16string_view cell, bool first, std::u16string& line);
void appendCsvCell(std::string_view cell, bool first, std::string& line);

// UTF-16 to the ANSI code page (unmappable characters and each surrogate half become
// the default character), at most as many bytes as the text has characters.
[[nodiscard]] std::string toLogAnsi(std::u16string_view text);

}  // namespace crvl
