// How the top folder of one side of a pair stands before a run touches it: whether it
// is there, may be created by the run, or lies where nothing may be written.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/provider_table.h"
#include "jobs/sync_modes.h"

namespace crvl {

enum class TopFolder : uint8_t {
  kPresent,        // something stands under the folder's name (a folder, or a file in its way)
  kMissing,        // absent while the folder above it is there: a first run may create it
  kParentMissing,  // absent, and so is the folder above it (a medium or share not there)
  kNotMounted,     // on a mount point with nothing mounted now (a local side only)
};

// Looks at `path` through its side's slot and handle. A local side (`local`) that lies
// on a mount point that is not mounted is kNotMounted whether or not the folder is there.
// The root of a path has no folder above it: a missing root is kParentMissing.
[[nodiscard]] TopFolder inspectTopFolder(FileSystemProvider* slot, ProviderHandle* handle, std::u16string_view path,
                                         bool local);

// Whether a top folder in `state` can be reached at all (kPresent or kMissing).
[[nodiscard]] inline bool topFolderReachable(TopFolder state) noexcept {
  return state == TopFolder::kPresent || state == TopFolder::kMissing;
}

// The error a pair is skipped with when a side's top folder cannot be reached: 21 (not
// ready) on a mount point that is not mounted, else 3 (path not found); 0 when reachable.
[[nodiscard]] ErrorCode topFolderError(TopFolder state) noexcept;

// Whether the options add entries to the left (`left`) or right side: files ("<+", "+>")
// or new folders with their update option ("d+" with "<=" or "=>"). Such a side's
// missing top folder is created by the run.
[[nodiscard]] bool optionsAddTo(OptionFlags flags, bool left) noexcept;

}  // namespace crvl
