// Case-insensitive names on POSIX: Unicode simple case folding, with hiragana and
// katakana counted the same (as Windows compares names with NORM_IGNOREKANATYPE).
#include <algorithm>

#include "case_tables.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

using detail::CaseRun;

char32_t mapThrough(const CaseRun* runs, size_t count, char32_t cp) noexcept {
  const CaseRun* end = runs + count;
  const CaseRun* run = std::lower_bound(
      runs, end, cp, [](const CaseRun& r, char32_t c) { return r.last < c; });
  if (run == end || cp < run->first || (cp - run->first) % run->step != 0) return cp;
  return static_cast<char32_t>(static_cast<int64_t>(cp) + run->delta);
}

// The comparison key of one code point: katakana as hiragana, then the case fold.
char32_t foldCodePoint(char32_t cp) noexcept {
  if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
  if ((cp >= 0x30A1 && cp <= 0x30F6) || cp == 0x30FD || cp == 0x30FE) return cp - 0x60;
  return mapThrough(detail::kFoldRuns, detail::kFoldRunsSize, cp);
}

char32_t upperCodePoint(char32_t cp) noexcept {
  if (cp < 0x80) return cp >= 'a' && cp <= 'z' ? cp - 32 : cp;
  return mapThrough(detail::kUpperRuns, detail::kUpperRunsSize, cp);
}

bool isHigh(char16_t u) noexcept { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) noexcept { return u >= 0xDC00 && u <= 0xDFFF; }

// Reads the code point at `i` (a pair when complete; a lone half stands for itself).
char32_t next(std::u16string_view s, size_t& i) noexcept {
  const char16_t u = s[i++];
  if (isHigh(u) && i < s.size() && isLow(s[i])) {
    return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i++] - 0xDC00);
  }
  return u;
}

void appendCodePoint(char32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

}  // namespace

bool namesEqual(std::u16string_view a, std::u16string_view b) {
  // Folding keeps every code point in its plane, so the lengths in units must agree.
  if (a.size() != b.size()) return false;
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char16_t x = a[i], y = b[j];
    if (x < 0x80 && y < 0x80) {  // the common case: plain ASCII
      if (x != y && foldCodePoint(x) != foldCodePoint(y)) return false;
      ++i;
      ++j;
      continue;
    }
    if (foldCodePoint(next(a, i)) != foldCodePoint(next(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

void appendFoldKey(std::u16string_view name, std::u16string& out) {
  out.reserve(out.size() + name.size());
  size_t i = 0;
  while (i < name.size()) {
    const char16_t u = name[i];
    if (u < 0x80) {
      out.push_back(u >= u'A' && u <= u'Z' ? static_cast<char16_t>(u + 32) : u);
      ++i;
      continue;
    }
    appendCodePoint(foldCodePoint(next(name, i)), out);
  }
}

std::u16string toUpper(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) appendCodePoint(upperCodePoint(next(text, i)), out);
  return out;
}

char16_t toUpper(char16_t c) noexcept {
  if (isHigh(c) || isLow(c)) return c;
  return static_cast<char16_t>(upperCodePoint(c));
}

bool sameFileName(std::u16string_view a, std::u16string_view b) { return a == b; }

}  // namespace crvl::platform
