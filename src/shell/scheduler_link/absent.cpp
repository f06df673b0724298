// The shell of a build whose core has no scheduler yet: nothing can be run, stopped or
// scheduled, and every run command does nothing.
#include "shell/run_control.h"

namespace crvl::shell {

const RunControl& schedulerRunControl() noexcept {
  static const RunControl none{};
  return none;
}

}  // namespace crvl::shell
