#include "platform/threads.h"

#include <windows.h>

namespace crvl::platform {

void setThreadBackground(bool background) noexcept {
  ::SetThreadPriority(::GetCurrentThread(), background ? THREAD_PRIORITY_LOWEST : THREAD_PRIORITY_NORMAL);
}

}  // namespace crvl::platform
