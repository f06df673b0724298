// Whether a job's folders can be reached now: what availability tasks wait for.
#include "engine/provider_table.h"
#include "jobs/job.h"
#include "jobs/job_register.h"
#include "os_traits.h"
#include "platform/files.h"
#include "platform/text.h"
#include "schedule/app_state.h"
#include "schedule/removable_media.h"
#include "schedule/scheduler.h"
#include "schedule/scheduler_time.h"

namespace crvl {
namespace {

// Windows: the root of the side's path (drive, share or plug-in root) answers; the
// folder itself is not looked at. POSIX, where every path's root is "/": the folder
// itself exists and is a folder, so that a folder on a medium that is not mounted
// counts as unreachable.
bool sideReachable(ProviderTable& providers, const std::u16string& path) {
  const ScopedProviderHandle handle = providers.open(path, /*owner=*/nullptr);
  if (!handle) return false;
  FileSystemProvider* slot = slotOf(handle.get());
  if constexpr (os::kDrivePaths) {
    std::u16string root;
    if (callRootName(slot, handle.get(), root) != kSuccess || root.empty()) return false;
    return callGetAttributes(slot, handle.get(), root, /*block=*/nullptr) != platform::kInvalidAttributes;
  } else {
    const uint32_t attributes = callGetAttributes(slot, handle.get(), handle.get()->path, /*block=*/nullptr);
    return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrFolder) != 0;
  }
}

// `jobName` (when not empty) must be the name of the entry under `jobNumber`.
bool entryIsAvailable(AppState& state, int32_t jobNumber, std::u16string_view jobName) {
  ProfileStore& settings = scheduler_time::settingsOf(state);
  Job job;
  readRegisterEntry(jobNumber, job, settings);
  if (job.jobFilePath.empty()) return false;
  if (!jobName.empty() && !platform::namesEqual(job.jobName, jobName)) return false;
  if (loadJob(job, settings) != kSuccess) return false;
  const VolumeQueries& volumes = state.volumes != nullptr ? *state.volumes : defaultVolumeQueries();
  size_t pairs = 0;
  // The included pairs are the ones a run synchronises; excluded pairs only keep parts
  // of them out.
  for (const std::u16string& pair : job.includedPairs) {
    const size_t semicolon = pair.find(u';');
    if (semicolon == std::u16string::npos) continue;
    std::u16string left, right;
    bool eject = false;
    if (!resolveFolderSide(std::u16string_view(pair).substr(0, semicolon), volumes, &left, &eject) ||
        !resolveFolderSide(std::u16string_view(pair).substr(semicolon + 1), volumes, &right, &eject)) {
      return false;
    }
    if (!sideReachable(state.providers, left) || !sideReachable(state.providers, right)) return false;
    ++pairs;
  }
  return pairs > 0;
}

}  // namespace

bool jobIsAvailable(AppState& state, int32_t jobNumber) { return entryIsAvailable(state, jobNumber, {}); }

bool jobIsAvailable(AppState& state, std::u16string_view jobName) {
  if (jobName.empty()) return false;
  const int number = findJobNumber(jobName, scheduler_time::settingsOf(state));
  return number > 0 && entryIsAvailable(state, number, jobName);
}

}  // namespace crvl
