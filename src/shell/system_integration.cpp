// The system integration is not built yet: the shortcut and the system's task list are
// left as they are.
#include "shell/system_integration.h"

namespace crvl::shell {

void syncStartWithWindows(ProfileStore&, uint32_t) {}
void exportTimeControlledTasks(ProfileStore&) {}

}  // namespace crvl::shell
