#include "platform/threads.h"

namespace crvl::platform {

void setThreadBackground(bool) noexcept {}

}  // namespace crvl::platform
