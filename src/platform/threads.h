// Thread priority for threads that mostly wait.
#pragma once

namespace crvl::platform {

// Windows: the calling thread runs at the lowest priority while `background`, at normal
// priority otherwise. POSIX: nothing, since an unprivileged thread that lowers its
// priority can never raise it again for the run that follows; such threads sleep
// between their tests anyway.
void setThreadBackground(bool background) noexcept;

}  // namespace crvl::platform
