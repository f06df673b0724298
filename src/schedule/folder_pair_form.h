// The medium check boxes of the folder-pair dialog, one set per side, without the
// window: "This media storage only", "Fix drive letter" and "Eject the media after the
// job ends", filled from a stored side string, enabled by the kind of drive the path is
// on, and written back into a side string on "&OK".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "schedule/removable_media.h"

namespace crvl {

struct SideForm {
  std::u16string path;          // without prefixes
  bool thisMediumOnly = false;  // a serial is recorded
  bool fixDriveLetter = true;   // no search marker
  bool eject = false;
  uint32_t rememberedSerial = 0;  // the serial read when filling (kept when the medium is absent)
  bool serialRemembered = false;
};

struct SideEnables {
  bool thisMediumOnly = false;
  bool fixDriveLetter = false;
  bool eject = false;
  bool operator==(const SideEnables&) const = default;
};

// The form of a stored side string.
[[nodiscard]] SideForm fillSideForm(std::u16string_view side);

// Which boxes can be changed for the form's path: "Fix drive letter" on searchable
// drives (removable-like and fixed) only, and then only while "This media storage only"
// is checked; "This media storage only" on searchable drives and for any path whose
// volume has a serial; the eject box on removable-like drives only.
[[nodiscard]] SideEnables sideEnables(const SideForm& form, const VolumeQueries& queries);

// The side string on "&OK": ">" when ejecting; with "This media storage only" the
// serial read now, else the one remembered, else none; with a serial "?" when the
// letter is not fixed, then "|serial|"; then the path.
[[nodiscard]] std::u16string writeSideForm(const SideForm& form, const VolumeQueries& queries);

}  // namespace crvl
