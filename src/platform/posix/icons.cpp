// POSIX has no icons of its own here: the user-interface entries answer nothing.
#include "platform/icons.h"

namespace crvl::platform {

void* firstModuleIcon(const Module&, int32_t) noexcept { return nullptr; }
void* computerFolderIcon(int32_t) noexcept { return nullptr; }
int32_t addIconToImageList(void*, void*) noexcept { return -1; }
void destroyIcon(void*) noexcept {}

}  // namespace crvl::platform
