// One side of a folder pair as a job file stores it: optional medium prefixes, then
// the path. Read strictly in this order:
//   ">"            eject the medium after the job ends (first character only)
//   "?"            the drive letter is not fixed (first, or right after ">")
//   "|" hex "|"    the medium's 32-bit volume serial, lowercase hex, no leading zeros
//   the path
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace crvl {

// One side of a folder pair as stored.
struct FolderSide {
  bool eject = false;
  bool search = false;         // "?": the medium may sit under another letter
  bool hasSerial = false;      // a "|...|" part was present
  bool serialValid = true;     // false when its digits are not a 32-bit hex number
  bool unclosed = false;       // the "|" had no closing "|" (the path is then empty)
  uint32_t serial = 0;         // 0 when absent (or empty between the bars)
  std::u16string serialText;   // the digits as stored, so the side writes back exactly
  std::u16string path;
};

// Reads a side string. Never fails: a "|" without its closing "|" leaves the side with
// an empty path; digits that are not hexadecimal or do not fit 32 bits leave
// serialValid false (such a side never passes the medium check).
[[nodiscard]] FolderSide parseFolderSide(std::u16string_view text);

// Writes a side back: formatFolderSide(parseFolderSide(s)) == s for every s.
[[nodiscard]] std::u16string formatFolderSide(const FolderSide& side);

// The stored form of a serial: lowercase hexadecimal without leading zeros ("0" for 0).
[[nodiscard]] std::u16string formatSerial(uint32_t serial);

// Sets a side's serial as the folder-pair dialog writes it (hasSerial, digits, value).
void setSideSerial(FolderSide& side, uint32_t serial);

}  // namespace crvl
