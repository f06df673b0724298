// Whether a job's folders can be reached now: what availability tasks wait for.
#include "engine/provider_table.h"
#include "engine/top_folder.h"
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

// A side is reachable when its top folder is there, or when only the folder itself is
// missing and the job's first run creates it (`created`): the folder above it is there
// and no mount point on its way lacks its file system. Windows also asks the root of
// the path (drive, share or plug-in root), and takes a missing source folder as an
// empty one, as the run does. On POSIX, where every path's root is "/", the folder
// itself must be a folder unless the run creates it, so that a folder on a medium that
// is not mounted counts as unreachable.
bool sideReachable(ProviderTable& providers, const std::u16string& path, bool created) {
  const ScopedProviderHandle handle = providers.open(path, /*owner=*/nullptr);
  if (!handle) return false;
  FileSystemProvider* slot = slotOf(handle.get());
  if constexpr (os::kDrivePaths) {
    std::u16string root;
    if (callRootName(slot, handle.get(), root) != kSuccess || root.empty()) return false;
    if (callGetAttributes(slot, handle.get(), root, /*block=*/nullptr) == platform::kInvalidAttributes) return false;
  }
  const std::u16string& folder = handle.get()->path;
  switch (inspectTopFolder(slot, handle.get(), folder, slot != nullptr && slot->kind == kProviderLocal)) {
    case TopFolder::kPresent:
      if constexpr (os::kDrivePaths) return true;
      return (callGetAttributes(slot, handle.get(), folder, /*block=*/nullptr) & platform::kAttrFolder) != 0;
    case TopFolder::kMissing:
      return created || os::kDrivePaths;
    default:
      return false;
  }
}

// `jobName` (when not empty) must be the name of the entry under `jobNumber`.
bool entryIsAvailable(AppState& state, int32_t jobNumber, std::u16string_view jobName) {
  ProfileStore& settings = scheduler_time::settingsOf(state);
  Job job;
  if (readRegisterEntry(jobNumber, job, settings) != kSuccess) return false;
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
    if (!sideReachable(state.providers, left, optionsAddTo(job.optionFlags, /*left=*/true)) ||
        !sideReachable(state.providers, right, optionsAddTo(job.optionFlags, /*left=*/false))) {
      return false;
    }
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
