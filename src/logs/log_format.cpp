#include "logs/log_format.h"

#include <array>
#include <cstdio>
#include <mutex>

#include "platform/text.h"

namespace crvl {
namespace {

constexpr LogFormatInfo kFormats[kLogFormatCount] = {
    {u"Text", u"*.txt", LogEncoding::Ansi, {}},
    {u"Text Unicode", u"*.txt", LogEncoding::Utf16, "\xFF\xFE"},
    {u"CSV", u"*.csv", LogEncoding::Ansi, {}},
    {u"CSV Unicode", u"*.csv", LogEncoding::Utf16, "\xFF\xFE"},
    {u"HTML", u"*.htm", LogEncoding::Ansi, {}},
    {u"HTML Unicode", u"*.htm", LogEncoding::Utf16, "\xFF\xFE"},
    {u"HTML Unicode UTF-8", u"*.htm", LogEncoding::Utf8, "\xEF\xBB\xBF"},
};

constexpr HtmlEntityRow kEntityRows[kHtmlEntityRowCount] = {
    {0x22, "&quot;"},   {0x26, "&amp;"},    {0x3C, "&lt;"},     {0x3E, "&gt;"},
    {0x80, "&euro;"},   {0x20, "&nbsp;"},
    {0xA1, "&iexcl;"},  {0xA2, "&cent;"},   {0xA3, "&pound;"},  {0xA4, "&curren;"},
    {0xA5, "&yen;"},    {0xA6, "&brvbar;"}, {0xA6, "&brkbar;"}, {0xA7, "&sect;"},
    {0xA8, "&uml;"},    {0xA8, "&die;"},
    {0xA9, "&copy;"},   {0xAA, "&ordf;"},   {0xAB, "&laquo;"},  {0xAC, "&not;"},
    {0xAD, "&shy;"},    {0xAE, "&reg;"},
    {0x99, "&trade;"},
    {0xAF, "&macr;"},   {0xAF, "&hibar;"},
    {0xB0, "&deg;"},    {0xB1, "&plusmn;"}, {0xB2, "&sup2;"},   {0xB3, "&sup3;"},
    {0xB4, "&acute;"},  {0xB5, "&micro;"},  {0xB6, "&para;"},   {0xB7, "&middot;"},
    {0xB8, "&cedil;"},  {0xB9, "&sup1;"},   {0xBA, "&ordm;"},   {0xBB, "&raquo;"},
    {0xBC, "&frac14;"}, {0xBD, "&frac12;"}, {0xBE, "&frac34;"}, {0xBF, "&iquest;"},
    {0xC0, "&Agrave;"}, {0xC1, "&Aacute;"}, {0xC2, "&Acirc;"},  {0xC3, "&Atilde;"},
    {0xC4, "&Auml;"},   {0xC5, "&Aring;"},  {0xC6, "&AElig;"},  {0xC7, "&Ccedil;"},
    {0xC8, "&Egrave;"}, {0xC9, "&Eacute;"}, {0xCA, "&Ecirc;"},  {0xCB, "&Euml;"},
    {0xCC, "&Igrave;"}, {0xCD, "&Iacute;"}, {0xCE, "&Icirc;"},  {0xCF, "&Iuml;"},
    {0xD0, "&ETH;"},    {0xD1, "&Ntilde;"}, {0xD2, "&Ograve;"}, {0xD3, "&Oacute;"},
    {0xD4, "&Ocirc;"},  {0xD5, "&Otilde;"}, {0xD6, "&Ouml;"},   {0xD7, "&times;"},
    {0xD8, "&Oslash;"}, {0xD9, "&Ugrave;"}, {0xDA, "&Uacute;"}, {0xDB, "&Ucirc;"},
    {0xDC, "&Uuml;"},   {0xDD, "&Yacute;"}, {0xDE, "&THORN;"},  {0xDF, "&szlig;"},
    {0xE0, "&agrave;"}, {0xE1, "&aacute;"}, {0xE2, "&acirc;"},  {0xE3, "&atilde;"},
    {0xE4, "&auml;"},   {0xE5, "&aring;"},  {0xE6, "&aelig;"},  {0xE7, "&ccedil;"},
    {0xE8, "&egrave;"}, {0xE9, "&eacute;"}, {0xEA, "&ecirc;"},  {0xEB, "&euml;"},
    {0xEC, "&igrave;"}, {0xED, "&iacute;"}, {0xEE, "&icirc;"},  {0xEF, "&iuml;"},
    {0xF0, "&eth;"},    {0xF1, "&ntilde;"}, {0xF2, "&ograve;"}, {0xF3, "&oacute;"},
    {0xF4, "&ocirc;"},  {0xF5, "&otilde;"}, {0xF6, "&ouml;"},   {0xF7, "&divide;"},
    {0xF8, "&oslash;"}, {0xF9, "&ugrave;"}, {0xFA, "&uacute;"}, {0xFB, "&ucirc;"},
    {0xFC, "&uuml;"},   {0xFD, "&yacute;"}, {0xFE, "&thorn;"},  {0xFF, "&yuml;"},
};

// The row keys as UTF-16 characters of the system ANSI code page, converted once.
const std::array<char16_t, kHtmlEntityRowCount>& entityKeys() {
  static const std::array<char16_t, kHtmlEntityRowCount> keys = [] {
    std::array<char16_t, kHtmlEntityRowCount> converted{};
    for (size_t i = 0; i < kHtmlEntityRowCount; ++i) {
      const char byte = static_cast<char>(kEntityRows[i].key);
      const std::u16string unit = platform::ansiToUtf16(std::string_view(&byte, 1));
      converted[i] = unit.empty() ? u'\0' : unit[0];
    }
    return converted;
  }();
  return keys;
}

size_t asciiLength(const char* text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

template <typename Char, typename Text>
void appendCell(Text cell, bool first, std::basic_string<Char>& line) {
  if (!first) line.push_back(static_cast<Char>(';'));
  const bool quote = cell.find(static_cast<Char>(';')) != Text::npos ||
                     cell.find(static_cast<Char>('"')) != Text::npos;
  if (quote) line.push_back(static_cast<Char>('"'));
  line.append(cell);
  if (quote) line.push_back(static_cast<Char>('"'));
}

}  // namespace

const LogFormatInfo* logFormatInfo(LogFormat format) noexcept {
  if (format < 1 || format > kLogFormatCount) return nullptr;
  return &kFormats[format - 1];
}

std::u16string_view logFormatExtension(LogFormat format) noexcept {
  const LogFormatInfo* info = logFormatInfo(format);
  if (info == nullptr) return {};
  return std::u16string_view(info->pattern).substr(2);
}

LogFormat logFormatFromSetting(uint32_t stored) noexcept {
  if (stored == 0 || stored > static_cast<uint32_t>(kLogFormatCount)) return kFallbackLogFormat;
  return static_cast<LogFormat>(stored);
}

const HtmlEntityRow* htmlEntityRows() noexcept { return kEntityRows; }

const char* htmlEntityFor(char16_t c) noexcept {
  // Below 0x80 only these can match (ASCII is the same in every ANSI code page).
  if (c < 0x80 && c != u'"' && c != u'&' && c != u'<' && c != u'>' && c != u' ') return nullptr;
  const auto& keys = entityKeys();
  for (size_t i = 0; i < kHtmlEntityRowCount; ++i) {
    if (keys[i] == c) return kEntityRows[i].entity;
  }
  return nullptr;
}

ErrorCode escapeHtml(std::u16string_view text, size_t capacity, std::u16string& out) {
  out.clear();
  const size_t limit = capacity == 0 ? 0 : capacity - 1;
  char number[16];
  for (char16_t c : text) {
    const char* piece = htmlEntityFor(c);
    size_t length = 0;
    if (piece != nullptr) {
      length = asciiLength(piece);
    } else if (c > 128) {
      length = static_cast<size_t>(std::snprintf(number, sizeof number, "&#%u;", unsigned{c}));
      piece = number;
    }
    if (piece == nullptr) {
      if (out.size() + 1 > limit) return kErrorInsufficientBuffer;
      out.push_back(c);
      continue;
    }
    // A piece that does not fit is left out whole: the cell ends at the last entity.
    if (out.size() + length > limit) return kErrorInsufficientBuffer;
    for (size_t i = 0; i < length; ++i) out.push_back(static_cast<char16_t>(piece[i]));
  }
  return kSuccess;
}

void appendCsvCell(std::u16string_view cell, bool first, std::u16string& line) {
  appendCell<char16_t>(cell, first, line);
}

void appendCsvCell(std::string_view cell, bool first, std::string& line) {
  appendCell<char>(cell, first, line);
}

std::string toLogAnsi(std::u16string_view text) {
  // Each surrogate half becomes one default character on its own, so a character
  // outside the Basic Multilingual Plane gives the same two bytes on every system.
  std::string bytes;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && (text[i] < 0xD800 || text[i] > 0xDFFF)) continue;
    if (i > start) bytes += platform::utf16ToAnsi(text.substr(start, i - start));
    if (i < text.size()) bytes.push_back('?');
    start = i + 1;
  }
  // The conversion buffer holds as many bytes as the text has characters.
  if (bytes.size() > text.size()) bytes.resize(text.size());
  return bytes;
}

}  // namespace crvl
