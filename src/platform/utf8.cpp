// UTF-8 forms shared by both systems: the per-code-unit form of stored text and
// standard UTF-8 for terminals, command lines and POSIX file names.
#include "platform/text.h"

namespace crvl::platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendUnit(char16_t u, std::string& out) {
  if (u < 0x80) {
    out.push_back(static_cast<char>(u));
  } else if (u < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (u >> 6)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (u >> 12)));
    out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

void appendUnitsAsUtf8(std::u16string_view text, std::string& out) {
  out.reserve(out.size() + text.size());
  for (char16_t u : text) appendUnit(u, out);
}

std::string unitsToUtf8(std::u16string_view text) {
  std::string out;
  appendUnitsAsUtf8(text, out);
  return out;
}

std::u16string utf8ToUnits(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const size_t n = bytes.size();
  auto at = [&](size_t i) -> unsigned { return i < n ? static_cast<unsigned char>(bytes[i]) : 0u; };
  auto continues = [&](size_t i, unsigned lo = 0x80, unsigned hi = 0xBF) {
    return i < n && at(i) >= lo && at(i) <= hi;
  };
  size_t i = 0;
  while (i < n) {
    const unsigned lead = at(i);
    if (lead < 0x80) {
      out.push_back(static_cast<char16_t>(lead));
      i += 1;
    } else if (lead >= 0xC2 && lead <= 0xDF && continues(i + 1)) {
      out.push_back(static_cast<char16_t>(((lead & 0x1F) << 6) | (at(i + 1) & 0x3F)));
      i += 2;
    } else if (lead >= 0xE0 && lead <= 0xEF && continues(i + 1, lead == 0xE0 ? 0xA0 : 0x80) &&
               continues(i + 2)) {
      // ED A0-BF (a surrogate half) belongs to the per-unit form and is taken as it is.
      out.push_back(static_cast<char16_t>(((lead & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) |
                                          (at(i + 2) & 0x3F)));
      i += 3;
    } else if (lead >= 0xF0 && lead <= 0xF4 &&
               continues(i + 1, lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF) &&
               continues(i + 2) && continues(i + 3)) {
      const char32_t cp = (((lead & 0x07u) << 18) | ((at(i + 1) & 0x3Fu) << 12) |
                           ((at(i + 2) & 0x3Fu) << 6) | (at(i + 3) & 0x3Fu)) - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      i += 4;
    } else {
      // A byte that starts no complete sequence stands for itself as U+DC00 + byte,
      // as in file names: nothing turns into a NUL or a line end.
      out.push_back(static_cast<char16_t>(0xDC00 + lead));
      i += 1;
    }
  }
  return out;
}

namespace {

// Decodes standard UTF-8. An invalid sequence is handed to `invalid` with the bytes from
// its start to the place where it broke off; the answer is how many of those bytes were
// consumed (at least one).
template <typename Invalid>
std::u16string decodeUtf8(std::string_view bytes, Invalid invalid) {
  std::u16string out;
  out.reserve(bytes.size());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const unsigned b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
      out.push_back(static_cast<char16_t>(b0));
      ++i;
      continue;
    }
    size_t need = 0;
    char32_t cp = 0;
    unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
      cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      cp = b0 & 0x0F;
      if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
      if (b0 == 0xED) hi = 0x9F;  // no encoded surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      cp = b0 & 0x07;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
      i += invalid(bytes.substr(i, 1), out);
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (size_t k = 0; k < need; ++k, ++j) {
      if (j >= n) {
        ok = false;
        break;
      }
      const unsigned b = static_cast<unsigned char>(bytes[j]);
      const unsigned low = k == 0 ? lo : 0x80, high = k == 0 ? hi : 0xBF;
      if (b < low || b > high) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok) {
      i += invalid(bytes.substr(i, j - i), out);
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i = j;
  }
  return out;
}

// Encodes UTF-16 as UTF-8; an unpaired surrogate is handed to `lone`.
template <typename Lone>
std::string encodeUtf8(std::u16string_view text, Lone lone) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t u = text[i];
    if (isHighSurrogate(u) && i + 1 < n && isLowSurrogate(text[i + 1])) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                          (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      ++i;
    } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
      lone(u, out);
    } else {
      appendUnit(u, out);
    }
  }
  return out;
}

constexpr char16_t kEscapeBase = 0xDC00;

}  // namespace

std::u16string fromUtf8(std::string_view bytes) {
  // A broken sequence is one U+FFFD.
  return decodeUtf8(bytes, [](std::string_view broken, std::u16string& out) {
    out.push_back(kReplacement);
    return broken.size();
  });
}

std::string toUtf8(std::u16string_view text) {
  return encodeUtf8(text, [](char16_t, std::string& out) { appendUnit(kReplacement, out); });
}

std::u16string fromSystemBytes(std::string_view bytes) {
  // Only the first byte of a broken sequence is escaped: the bytes after it may begin
  // a valid sequence of their own.
  return decodeUtf8(bytes, [](std::string_view broken, std::u16string& out) {
    out.push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(broken[0])));
    return size_t{1};
  });
}

std::string toSystemBytes(std::u16string_view text) {
  return encodeUtf8(text, [](char16_t u, std::string& out) {
    if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
      out.push_back(static_cast<char>(u - kEscapeBase));
    } else {
      appendUnit(kReplacement, out);
    }
  });
}

}  // namespace crvl::platform
