#include "shell/menu_commands.h"

namespace crvl::shell {

std::optional<uint16_t> jobMenuId(int32_t jobNumber, uint16_t command) noexcept {
  if (jobNumber < 0 || command < kCmdJobStart || command > kCmdJobCustomize) return std::nullopt;
  const uint64_t id = kJobMenuIdBase + uint64_t{kJobMenuIdStride} * static_cast<uint32_t>(jobNumber) +
                      (command - kCmdJobStart);
  if (id > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(id);
}

MenuChoice decodeMenuId(uint16_t id) noexcept {
  if (id < kJobMenuIdBase) return {id, 0};
  const uint32_t offset = id - kJobMenuIdBase;
  return {static_cast<uint16_t>(offset % kJobMenuIdStride + kCmdJobStart),
          static_cast<int32_t>(offset / kJobMenuIdStride)};
}

void CommandEnableTable::refresh(int32_t runsInProgress) noexcept {
  for (Entry& entry : entries_) {
    entry.previous = entry.disabled;
    if (entry.command == kCmdStopAll) entry.disabled = runsInProgress == 0;
  }
}

bool CommandEnableTable::disabled(uint16_t command) const noexcept {
  for (const Entry& entry : entries_) {
    if (entry.command == command) return entry.disabled;
  }
  return false;
}

bool CommandEnableTable::listed(uint16_t command) const noexcept {
  for (const Entry& entry : entries_) {
    if (entry.command == command) return true;
  }
  return false;
}

}  // namespace crvl::shell
