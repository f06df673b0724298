// Removable media: one side of a folder pair may be bound to one medium by its volume
// serial, found again under another drive letter (or, on POSIX, another mount point),
// and ejected after an executing run.
//
// Side string grammar, read strictly in this order:
//   ">"            eject the medium after the job ends (first character only)
//   "?"            the drive letter is not fixed (first, or right after ">")
//   "|" hex "|"    the medium's 32-bit volume serial, lowercase hex, no leading zeros
//   the path
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/medium_check.h"
#include "platform/volumes.h"

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

// The drive and volume queries the medium check and the ejection use. Tests replace
// them; defaultVolumeQueries() answers from the platform layer.
struct VolumeQueries {
  void* context = nullptr;
  uint32_t (*volumeSerial)(void* context, std::u16string_view path) = nullptr;
  uint32_t (*presentDrives)(void* context) = nullptr;  // bit 0 = "A"
  platform::DriveClass (*driveClass)(void* context, char16_t letter) = nullptr;
  bool (*findMountWithSerial)(void* context, uint32_t serial, std::u16string* mountPoint) = nullptr;
  void (*ejectDrive)(void* context, char16_t letter) = nullptr;
};

[[nodiscard]] const VolumeQueries& defaultVolumeQueries();

// The serial of the volume that holds `path`: 0 for plug-in paths (three leading
// separators), which no local volume holds, and on failure.
[[nodiscard]] uint32_t readVolumeSerial(std::u16string_view path, const VolumeQueries& queries);

// Whether the folder may be used with its recorded medium; may rewrite `path`.
//  - serial 0: passes unchanged;
//  - fixed letter: passes only when the path's volume has the serial;
//  - not fixed: passes when the path's own volume has it; otherwise a drive path takes
//    the letter of the first present searchable drive ("A" to "Z") that has it, and a
//    POSIX path takes the mount point of the mounted file system that has it in place
//    of as many leading components as that mount point has. No match fails.
[[nodiscard]] bool checkMedium(std::u16string& path, uint32_t serial, bool fixedLetter,
                               const VolumeQueries& queries);

// Ejects every marked drive, "C" to "Z" in order, one after the other. The run wrapper
// calls it after an executing run only, once the job log is closed.
void ejectMarkedDrives(const EjectSet& set, const VolumeQueries& queries);

// Reads one side of a folder pair: the medium prefixes, a leading path macro expanded,
// '/' made native, and the medium check. Returns false when the check fails (a serial
// that cannot be read as a number identifies no medium and never passes); `*path`
// holds the path to use and `*eject` whether the side asks for ejection.
[[nodiscard]] bool resolveFolderSide(std::u16string_view text, const VolumeQueries& queries,
                                     std::u16string* path, bool* eject);

// The run's medium check over `queries` (which must outlive it).
[[nodiscard]] MediumCheck mediumCheckFor(const VolumeQueries& queries) noexcept;

}  // namespace crvl
