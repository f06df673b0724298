// Removable media: one side of a folder pair may be bound to one medium by its volume
// serial, found again under another drive letter (or, on POSIX, another mount point),
// and ejected after an executing run.
//
// The side strings themselves are read and written by jobs/folder_side.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/medium_check.h"
#include "jobs/folder_side.h"
#include "platform/volumes.h"

namespace crvl {

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
