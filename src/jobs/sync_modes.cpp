// Mode presets and option tokens.
#include "jobs/sync_modes.h"

namespace crvl {

int modeForFlags(OptionFlags flags) noexcept {
  const OptionFlags directions = flags & ~kComparisonOptions;
  for (size_t i = 0; i < SyncModeTable.size(); ++i) {
    if (SyncModeTable[i].flags == directions) return static_cast<int>(i);
  }
  return kModeUserDefined;
}

OptionFlags applyMode(int mode, OptionFlags flags) noexcept {
  if (mode < 0 || static_cast<size_t>(mode) >= SyncModeTable.size()) return flags;
  const OptionFlags preset = SyncModeTable[static_cast<size_t>(mode)].flags;
  if (preset == 0) return flags;
  return (flags & ~kDirectionOptions) | (preset & kDirectionOptions);
}

std::string_view optionToken(OptionFlags bit) noexcept {
  for (const OptionRow& row : OptionTable) {
    if (row.bit == bit) return row.token;
  }
  return {};
}

OptionFlags optionForToken(std::string_view token) noexcept {
  for (const OptionRow& row : OptionTable) {
    if (row.token == token) return row.bit;
  }
  return 0;
}

}  // namespace crvl
