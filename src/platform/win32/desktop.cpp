// The desktop work area from the system parameters.
#include "platform/desktop.h"

#include <windows.h>

namespace crvl::platform {

bool desktopWorkArea(uint32_t* width, uint32_t* height) noexcept {
  RECT area{};
  if (SystemParametersInfoW(SPI_GETWORKAREA, /*uiParam=*/0, &area, /*fWinIni=*/0)) {
    *width = static_cast<uint32_t>(area.right - area.left);
    *height = static_cast<uint32_t>(area.bottom - area.top);
    return true;
  }
  // Without a work area the screen itself counts.
  *width = static_cast<uint32_t>(GetSystemMetrics(SM_CXSCREEN));
  *height = static_cast<uint32_t>(GetSystemMetrics(SM_CYSCREEN));
  return true;
}

}  // namespace crvl::platform
