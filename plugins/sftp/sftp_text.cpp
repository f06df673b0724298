#include "sftp_text.h"

namespace sftp {

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string fromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    uint32_t c = 0xFFFD;
    size_t n = 1;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      n = 2;
    } else if ((b & 0xF0) == 0xE0) {
      n = 3;
    } else if ((b & 0xF8) == 0xF0) {
      n = 4;
    }
    if (n > 1) {
      bool ok = i + n <= text.size();
      uint32_t v = b & (0x7F >> n);
      for (size_t k = 1; ok && k < n; ++k) {
        const auto t = static_cast<unsigned char>(text[i + k]);
        ok = (t & 0xC0) == 0x80;
        v = (v << 6) | (t & 0x3F);
      }
      if (ok && v <= 0x10FFFF) {
        c = v;
      } else {
        n = 1;  // an invalid byte stands for itself as U+FFFD
      }
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}

std::u16string fromWide(const char16_t* text, size_t limit) {
  if (text == nullptr) return {};
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return std::u16string(text, n);
}

void copyWide(std::u16string_view text, char16_t* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return;
  const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  for (size_t i = 0; i < n; ++i) out[i] = text[i];
  out[n] = 0;
}

namespace {
constexpr uint64_t kTicksPerSecond = 10000000ull;
constexpr uint64_t kEpochDifference = 11644473600ull;  // seconds from 1601 to 1970
}  // namespace

crvl::wfx::FileTime fileTimeOf(uint64_t unixSeconds) {
  const uint64_t ticks = (unixSeconds + kEpochDifference) * kTicksPerSecond;
  return {static_cast<crvl::wfx::Dword>(ticks), static_cast<crvl::wfx::Dword>(ticks >> 32)};
}

uint64_t unixSecondsOf(const crvl::wfx::FileTime& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.high) << 32) | time.low;
  const uint64_t seconds = ticks / kTicksPerSecond;
  return seconds > kEpochDifference ? seconds - kEpochDifference : 0;
}

std::string base64Unpadded(const unsigned char* data, size_t size) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t v = (static_cast<uint32_t>(data[i]) << 16) | (i + 1 < size ? data[i + 1] << 8 : 0) |
                       (i + 2 < size ? data[i + 2] : 0);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    if (i + 1 < size) out += kAlphabet[(v >> 6) & 63];
    if (i + 2 < size) out += kAlphabet[v & 63];
  }
  return out;
}

std::string sha256Fingerprint(const unsigned char* digest32) { return "SHA256:" + base64Unpadded(digest32, 32); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace sftp
