// Reading and writing the medium prefixes of a folder side.
#include "jobs/folder_side.h"

namespace crvl {
namespace {

int hexDigit(char16_t c) noexcept {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Hexadecimal digits to a 32-bit value; false for other characters or overflow.
bool parseSerial(std::u16string_view digits, uint32_t* value) noexcept {
  uint64_t v = 0;
  for (char16_t c : digits) {
    int d = hexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

FolderSide parseFolderSide(std::u16string_view text) {
  FolderSide side;
  size_t pos = 0;
  if (pos < text.size() && text[pos] == u'>') {
    side.eject = true;
    ++pos;
  }
  if (pos < text.size() && text[pos] == u'?') {
    side.search = true;
    ++pos;
  }
  if (pos < text.size() && text[pos] == u'|') {
    side.hasSerial = true;
    size_t close = text.find(u'|', pos + 1);
    if (close == std::u16string_view::npos) {
      // No closing bar: everything after it is taken as the serial, the path is empty.
      side.serialText = text.substr(pos + 1);
      side.serialValid = false;
      side.unclosed = true;
      return side;
    }
    side.serialText = text.substr(pos + 1, close - pos - 1);
    side.serialValid = parseSerial(side.serialText, &side.serial);
    if (!side.serialValid) side.serial = 0;
    pos = close + 1;
  }
  side.path = text.substr(pos);
  return side;
}

std::u16string formatFolderSide(const FolderSide& side) {
  std::u16string out;
  if (side.eject) out += u'>';
  if (side.search) out += u'?';
  if (side.hasSerial) {
    out += u'|';
    out += side.serialText;
    // A side read without its closing bar is written back without it.
    if (side.unclosed) return out;
    out += u'|';
  }
  out += side.path;
  return out;
}

std::u16string formatSerial(uint32_t serial) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string out;
  do {
    out.insert(out.begin(), kDigits[serial & 0xF]);
    serial >>= 4;
  } while (serial != 0);
  return out;
}

void setSideSerial(FolderSide& side, uint32_t serial) {
  side.hasSerial = true;
  side.serialValid = true;
  side.unclosed = false;
  side.serial = serial;
  side.serialText = formatSerial(serial);
}

}  // namespace crvl
