// Volumes and drives: volume serial numbers, drive classes, the drives present and the
// ejection of removable media. Windows answers from the drive letters; POSIX answers
// from the mounted file systems (a FAT or exFAT stick has the serial Windows shows for
// it, taken from its file-system UUID).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

// How the medium check treats a drive.
enum class DriveClass : uint8_t {
  NotSearchable,  // no drive letter, network drives, RAM disks, A: and B:
  RemovableLike,  // removable, CD-ROM, unknown type, fixed disks on USB or SD
  Fixed,          // every other fixed disk
};

// The 32-bit serial of the volume that holds `path` (Windows: GetVolumeInformationW of
// the path's root; POSIX: the file system holding the nearest existing folder of the
// path, identified by its UUID, else by its device number). 0 on failure.
[[nodiscard]] uint32_t volumeSerial(std::u16string_view path);

// The drive letters present, bit 0 = "A" (GetLogicalDrives). 0 on POSIX.
[[nodiscard]] uint32_t presentDrives();

// The class of a drive letter ('A'..'Z', either case). POSIX has no drive letters:
// always NotSearchable.
[[nodiscard]] DriveClass driveClass(char16_t letter);

// The mount point of the mounted file system whose serial (as volumeSerial computes
// it) is `serial`, in mount order; false when none is mounted. Windows: always false.
[[nodiscard]] bool findMountWithSerial(uint32_t serial, std::u16string* mountPoint);

// Whether `path` lies on a mount point that is not mounted now: the path, or a folder
// above it, is named as a mount point in the system's table of file systems
// (/etc/fstab; the test builds name another table in CRVL_FSTAB) while nothing is
// mounted there. The folder left behind by a stick that is not plugged in is then no
// place to write to. Links in the existing part of the path are resolved first.
// Windows: always false (a missing volume has no drive letter).
[[nodiscard]] bool liesOnUnmountedMountPoint(std::u16string_view path);

// Removes the device that holds drive `letter` through the Configuration Manager.
// 0 on success; -1 bad letter, -2 device not opened, -3 no device number, -5 no
// matching device interface, -10 removal vetoed, else the last Configuration Manager
// code. POSIX: -1 (there are no drive letters).
[[nodiscard]] int32_t removeDriveDevice(char16_t letter);

// Ejects the medium of drive `letter`: USB and SD devices are removed through the
// Configuration Manager, other drives get IOCTL_STORAGE_EJECT_MEDIA. Failures are
// silent by design. POSIX: does nothing; removable media are unmounted by the desktop.
void ejectDrive(char16_t letter);

// The serial of a file-system UUID as /dev/disk/by-uuid names it: "1234-ABCD" (FAT,
// exFAT) gives 0x1234ABCD; a 16-digit NTFS serial gives its low 32 bits; a longer UUID
// (ext4, btrfs, ...) gives the exclusive or of its 32-bit words. 0 when the text holds
// no hexadecimal digit. Portable so both builds can test it.
[[nodiscard]] uint32_t serialFromUuid(std::string_view uuid) noexcept;

}  // namespace crvl::platform
