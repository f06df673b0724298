#include "schedule/folder_pair_form.h"

#include "jobs/folder_side.h"
#include "platform/paths.h"

namespace crvl {
namespace {

// The class of the drive a path is on: drive paths by their letter, everything else
// (server shares, plug-in paths, POSIX paths) cannot be searched for.
platform::DriveClass classOf(std::u16string_view path, const VolumeQueries& queries) {
  if (!platform::isDrivePath(path) || queries.driveClass == nullptr) return platform::DriveClass::NotSearchable;
  const char16_t letter = path[0] >= u'a' && path[0] <= u'z' ? static_cast<char16_t>(path[0] - 32) : path[0];
  if (letter == u'A' || letter == u'B') return platform::DriveClass::NotSearchable;
  return queries.driveClass(queries.context, letter);
}

}  // namespace

SideForm fillSideForm(std::u16string_view text) {
  const FolderSide side = parseFolderSide(text);
  SideForm form;
  form.path = side.path;
  form.eject = side.eject;
  form.fixDriveLetter = !side.search;
  form.thisMediumOnly = side.hasSerial;
  if (side.hasSerial && side.serialValid) {
    form.rememberedSerial = side.serial;
    form.serialRemembered = true;
  }
  return form;
}

SideEnables sideEnables(const SideForm& form, const VolumeQueries& queries) {
  const platform::DriveClass drive = classOf(form.path, queries);
  const bool searchable = drive != platform::DriveClass::NotSearchable;
  SideEnables e;
  e.thisMediumOnly = searchable || readVolumeSerial(form.path, queries) != 0;
  e.fixDriveLetter = searchable && (!e.thisMediumOnly || form.thisMediumOnly);
  e.eject = drive == platform::DriveClass::RemovableLike;
  return e;
}

std::u16string writeSideForm(const SideForm& form, const VolumeQueries& queries) {
  FolderSide side;
  side.eject = form.eject;
  if (form.thisMediumOnly) {
    // A medium that is absent now keeps the serial it had, so a pair can be edited
    // while its stick is elsewhere.
    uint32_t serial = readVolumeSerial(form.path, queries);
    bool known = serial != 0;
    if (!known && form.serialRemembered) {
      serial = form.rememberedSerial;
      known = true;
    }
    if (known) {
      side.search = !form.fixDriveLetter;
      setSideSerial(side, serial);
    }
  }
  side.path = form.path;
  return formatFolderSide(side);
}

}  // namespace crvl
