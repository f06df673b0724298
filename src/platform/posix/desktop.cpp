// The POSIX build has no desktop work area.
#include "platform/desktop.h"

namespace crvl::platform {

bool desktopWorkArea(uint32_t* /*width*/, uint32_t* /*height*/) noexcept { return false; }

}  // namespace crvl::platform
