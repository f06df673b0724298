// The text of the tray notice about an availability task's refused password request:
// the job and the reason, from the language library.
#pragma once

#include <string>

#include "schedule/ui_requests.h"

namespace crvl::shell {

// Text 5904 with the job's name and the reason: text 5906 with the system's message
// for a request that could not be shown, else text 5905 (the password was not given).
[[nodiscard]] std::u16string refusalNoticeText(const RefusalNotice& notice);

}  // namespace crvl::shell
