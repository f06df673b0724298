// The shell bound to the scheduler.
#include "schedule/scheduler.h"
#include "shell/run_control.h"

namespace crvl::shell {

const RunControl& schedulerRunControl() noexcept {
  static const RunControl control{
      .startScheduledTasks = &startScheduledTasks,
      .startJobByName = &startJobByName,
      .startRunThread = &startRunThread,
      .stopJob = &stopJob,
      .stopAll = &stopAll,
      .jobIsRunning = &jobIsRunning,
      .quitAndWait = &quitAndWait,
  };
  return control;
}

}  // namespace crvl::shell
