// The register dialog's edits laid onto the register as it stands when they are
// stored: another process (the console's "job new") may have changed the register
// while the dialog was open, and its changes must not be lost by the dialog's OK.
#pragma once

#include <cstddef>
#include <vector>

#include "jobs/job_register.h"

namespace crvl {

// An edited row that came from no row of the register as loaded.
inline constexpr size_t kNewRegisterRow = static_cast<size_t>(-1);

// The register to store: `edited` (the rows as the user left them; `origins[i]` is the
// index in `base` of the loaded row that row i came from, or kNewRegisterRow) laid onto
// `current` (the register as it is now stored; `base` is what was loaded).
//   - Rows of `current` that `base` does not hold (added or changed elsewhere) are kept,
//     after the row they follow in `current`, or after the nearest earlier loaded row
//     still in the edit (at the start when there is none).
//   - Rows of `base` that `current` no longer holds (removed elsewhere) are dropped
//     unless the user changed them.
//   - Everything else follows the edit: its order, its names, its removals.
// Rows of `base` are found in `current` in order, each at its first row after the last
// one found with the same kind and name and a path to the same file (pathsEqual: the
// other process may have stored it expanded or contracted); an edit that `origins`
// does not match in size is taken as it is.
[[nodiscard]] std::vector<RegisterRow> mergeRegisterEdits(const std::vector<RegisterRow>& base,
                                                          const std::vector<RegisterRow>& edited,
                                                          const std::vector<size_t>& origins,
                                                          const std::vector<RegisterRow>& current);

}  // namespace crvl
