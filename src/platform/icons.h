// Icons for the user interface's lists of plug-in folders: a module's own icon, the
// system's icon of the Computer folder, and image lists. Windows: icon resources, the
// shell's icons and comctl32 image lists; POSIX has no icons (null, -1, nothing).
#pragma once

#include <cstdint>

#include "platform/modules.h"

namespace crvl::platform {

// The first icon group resource of `module`, at `size` pixels, or null. The caller
// frees it with destroyIcon.
[[nodiscard]] void* firstModuleIcon(const Module& module, int32_t size) noexcept;

// The shell's icon of the Computer folder at `size` pixels (small below 32), or null.
// The caller frees it with destroyIcon.
[[nodiscard]] void* computerFolderIcon(int32_t size) noexcept;

// Adds a copy of `icon` to the image list; the index it got, or -1 (no list, no icon).
[[nodiscard]] int32_t addIconToImageList(void* imageList, void* icon) noexcept;

// Frees an icon (null: nothing).
void destroyIcon(void* icon) noexcept;

}  // namespace crvl::platform
