#include "jobs/ini_text.h"

#include <new>

#include "jobs/marked_text.h"

namespace crvl::ini {

size_t lineEnd(std::string_view t, size_t pos) noexcept {
  const char* p = t.data();
  const size_t n = t.size();
  while (pos < n && p[pos] != '\r' && p[pos] != '\n') ++pos;
  return pos;
}

size_t nextLine(std::string_view t, size_t pos) noexcept {
  const size_t e = lineEnd(t, pos);
  if (e == t.size()) return e;
  if (t[e] == '\r' && e + 1 < t.size() && t[e + 1] == '\n') return e + 2;
  return e + 1;
}

size_t firstLine(std::string_view t) noexcept { return t.starts_with(kUtf8Marker) ? kUtf8Marker.size() : 0; }

size_t beforeTrailingBlankLine(std::string_view t, size_t pos) noexcept {
  auto terminatorStart = [&](size_t end) -> size_t {  // end > 0, t[end - 1] is CR or LF
    if (t[end - 1] == '\n' && end >= 2 && t[end - 2] == '\r') return end - 2;
    return end - 1;
  };
  if (pos == 0 || !isLineEndByte(t[pos - 1])) return pos;
  const size_t blank = terminatorStart(pos);
  if (blank == 0 || !isLineEndByte(t[blank - 1])) return pos;
  return blank;
}

size_t sectionEnd(std::string_view t, size_t body) noexcept {
  for (size_t ls = body; ls < t.size(); ls = nextLine(t, ls)) {
    if (t[ls] == '[') return ls;
  }
  return t.size();
}

std::optional<SectionSpan> findSection(std::string_view t, std::string_view name) {
  for (size_t ls = firstLine(t); ls < t.size(); ls = nextLine(t, ls)) {
    if (t[ls] != '[') continue;
    const size_t close = ls + 1 + name.size();
    if (close < t.size() && t[close] == ']' && t.compare(ls + 1, name.size(), name) == 0) {
      const size_t body = nextLine(t, ls);
      return SectionSpan{ls, body, sectionEnd(t, body)};
    }
  }
  return std::nullopt;
}

std::optional<KeySpan> matchKey(std::string_view t, size_t ls, std::string_view key) {
  const size_t le = lineEnd(t, ls);
  if (le - ls < key.size() || t.compare(ls, key.size(), key) != 0) return std::nullopt;
  size_t p = ls + key.size();
  while (p < le && isBlank(t[p])) ++p;
  if (p >= le || t[p] != '=') return std::nullopt;
  ++p;
  while (p < le && isBlank(t[p])) ++p;
  return KeySpan{ls, p, le, nextLine(t, ls)};
}

std::optional<KeySpan> findKey(std::string_view t, const SectionSpan& s, std::string_view key) {
  for (size_t ls = s.body; ls < s.end; ls = nextLine(t, ls)) {
    if (auto k = matchKey(t, ls, key)) return k;
  }
  return std::nullopt;
}

bool holdsLineBreak(std::string_view s) noexcept {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

bool writable(std::string_view section, std::string_view key, std::string_view value) {
  if (holdsLineBreak(section) || holdsLineBreak(key) || holdsLineBreak(value)) return false;
  if (section.find(']') != section.npos) return false;
  if (key.empty() || key.front() == '[' || key.find('=') != key.npos) return false;
  return !isBlank(key.back());
}

uint32_t parseUnsigned(std::string_view s) noexcept {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (negative) i = 1;
  uint32_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10u + static_cast<uint32_t>(s[i] - '0');  // wraps around like the C parse
  }
  return negative ? 0u - v : v;
}

bool copySectionBody(std::string_view t, std::string_view section, std::string& body) {
  const auto s = findSection(t, section);
  if (!s) return false;
  try {
    body.assign(t.substr(s->body, s->end - s->body));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace crvl::ini
