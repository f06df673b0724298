// The desktop the program's windows live on.
#pragma once

#include <cstdint>

namespace crvl::platform {

// The size of the desktop work area in pixels (the screen less the task bar; when the
// system cannot tell, the whole screen). Returns false where there is no desktop (the
// POSIX build); the outputs are then left unchanged.
[[nodiscard]] bool desktopWorkArea(uint32_t* width, uint32_t* height) noexcept;

}  // namespace crvl::platform
