// Medium prefixes of a folder side, the medium check and the ejection of a run's media.
#include "schedule/removable_media.h"

#include "jobs/path_macros.h"
#include "os_traits.h"
#include "platform/paths.h"

namespace crvl {

namespace {

bool isPluginPath(std::u16string_view path) noexcept {
  return path.size() >= 3 && platform::isPathSeparator(path[0]) && platform::isPathSeparator(path[1]) &&
         platform::isPathSeparator(path[2]);
}

// The path with its first `count` components replaced by `mountPoint`; false when the
// path has fewer components.
bool replaceLeadingComponents(std::u16string& path, size_t count,
                              std::u16string_view mountPoint) {
  size_t pos = 0;
  for (size_t n = 0; n < count; ++n) {
    while (pos < path.size() && platform::isPathSeparator(path[pos])) ++pos;
    if (pos == path.size()) return false;
    while (pos < path.size() && !platform::isPathSeparator(path[pos])) ++pos;
  }
  std::u16string result(mountPoint);
  std::u16string_view rest = std::u16string_view(path).substr(pos);
  if (!result.empty() && platform::isPathSeparator(result.back()) && !rest.empty() && platform::isPathSeparator(rest[0])) {
    rest.remove_prefix(1);
  }
  result += rest;
  path = std::move(result);
  return true;
}

size_t componentCount(std::u16string_view path) noexcept {
  size_t count = 0;
  bool inName = false;
  for (char16_t c : path) {
    bool sep = platform::isPathSeparator(c);
    if (!sep && !inName) ++count;
    inName = !sep;
  }
  return count;
}

uint32_t systemVolumeSerial(void*, std::u16string_view path) {
  return platform::volumeSerial(path);
}
uint32_t systemPresentDrives(void*) { return platform::presentDrives(); }
platform::DriveClass systemDriveClass(void*, char16_t letter) {
  return platform::driveClass(letter);
}
bool systemFindMount(void*, uint32_t serial, std::u16string* mountPoint) {
  return platform::findMountWithSerial(serial, mountPoint);
}
void systemEject(void*, char16_t letter) { platform::ejectDrive(letter); }

}  // namespace


const VolumeQueries& defaultVolumeQueries() {
  static const VolumeQueries queries{
      .context = nullptr,
      .volumeSerial = systemVolumeSerial,
      .presentDrives = systemPresentDrives,
      .driveClass = systemDriveClass,
      .findMountWithSerial = systemFindMount,
      .ejectDrive = systemEject,
  };
  return queries;
}

uint32_t readVolumeSerial(std::u16string_view path, const VolumeQueries& queries) {
  if (path.empty() || isPluginPath(path) || queries.volumeSerial == nullptr) return 0;
  return queries.volumeSerial(queries.context, path);
}

bool checkMedium(std::u16string& path, uint32_t serial, bool fixedLetter,
                 const VolumeQueries& queries) {
  if (serial == 0) return true;
  if (readVolumeSerial(path, queries) == serial) return true;
  if (fixedLetter) return false;

  if (platform::isDrivePath(path)) {
    uint32_t present = queries.presentDrives ? queries.presentDrives(queries.context) : 0;
    // A: and B: are never searchable.
    for (char16_t letter = u'C'; letter <= u'Z'; ++letter) {
      if ((present & (1u << (letter - u'A'))) == 0) continue;
      platform::DriveClass cls = queries.driveClass ? queries.driveClass(queries.context, letter)
                                                    : platform::DriveClass::NotSearchable;
      if (cls == platform::DriveClass::NotSearchable) continue;
      const char16_t root[] = {letter, u':', u'\\', 0};
      if (readVolumeSerial(root, queries) != serial) continue;
      path[0] = letter;
      return true;
    }
    return false;
  }

  if (!path.empty() && platform::isPathSeparator(path[0]) && !isPluginPath(path) &&
      queries.findMountWithSerial != nullptr) {
    // The old mount point is gone; the new one is assumed to sit at the same depth
    // (/media/USER/LABEL, /run/media/USER/LABEL, /mnt/NAME).
    std::u16string mountPoint;
    if (!queries.findMountWithSerial(queries.context, serial, &mountPoint)) return false;
    return replaceLeadingComponents(path, componentCount(mountPoint), mountPoint);
  }
  return false;
}

bool resolveFolderSide(std::u16string_view text, const VolumeQueries& queries, std::u16string* path,
                       bool* eject) {
  FolderSide side = parseFolderSide(text);
  *eject = side.eject;
  // Stored paths may begin with a path macro.
  *path = !side.path.empty() && side.path[0] == u'%' ? expandPath(side.path) : side.path;
  platform::toNativeSeparators(*path);
  // A serial that cannot be read as a number identifies no medium: never pass it.
  if (!side.serialValid) return false;
  return checkMedium(*path, side.serial, !side.search, queries);
}

MediumCheck mediumCheckFor(const VolumeQueries& queries) noexcept {
  MediumCheck check;
  check.context = const_cast<VolumeQueries*>(&queries);
  check.resolveSide = [](void* context, std::u16string_view text, std::u16string* path, bool* eject) {
    return resolveFolderSide(text, *static_cast<const VolumeQueries*>(context), path, eject);
  };
  return check;
}

void ejectMarkedDrives(const EjectSet& set, const VolumeQueries& queries) {
  if (queries.ejectDrive == nullptr) return;
  for (char16_t letter = u'C'; letter <= u'Z'; ++letter) {
    if (set.isMarked(letter)) queries.ejectDrive(queries.context, letter);
  }
}

}  // namespace crvl
