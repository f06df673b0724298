// The command ids of the tray program: the tray menu's commands, the per-job commands
// with their menu ids, the internal commands, and the table of commands that can be
// disabled.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace crvl::shell {

// Tray menu.
inline constexpr uint16_t kCmdExit = 100;
inline constexpr uint16_t kCmdStopAll = 102;
inline constexpr uint16_t kCmdViewLogs = 103;
inline constexpr uint16_t kCmdPlan = 104;
inline constexpr uint16_t kCmdConfiguration = 107;
inline constexpr uint16_t kCmdLanguage = 109;
inline constexpr uint16_t kCmdHelpMenu = 110;
inline constexpr uint16_t kCmdHelp = 111;
inline constexpr uint16_t kCmdGoOnline = 113;
inline constexpr uint16_t kCmdCheckUpdates = 114;
inline constexpr uint16_t kCmdProductInfo = 115;
inline constexpr uint16_t kCmdConfigureJobs = 118;
inline constexpr uint16_t kCmdJobsMenu = 119;
inline constexpr uint16_t kCmdDarkMode = 130;
inline constexpr uint16_t kCmdDarkDisable = 131;
inline constexpr uint16_t kCmdDarkAllow = 132;
inline constexpr uint16_t kCmdDarkForce = 133;
inline constexpr uint16_t kCmdBackupSettings = 221;
inline constexpr uint16_t kCmdRestoreSettings = 222;

// Per-job commands (lParam: the job number).
inline constexpr uint16_t kCmdJobStart = 201;
inline constexpr uint16_t kCmdJobStop = 202;
inline constexpr uint16_t kCmdJobPlan = 203;
inline constexpr uint16_t kCmdJobViewLog = 204;
inline constexpr uint16_t kCmdJobSimulate = 205;
inline constexpr uint16_t kCmdJobCustomize = 206;

// Internal commands.
inline constexpr uint16_t kCmdStopAllAlways = 24;
inline constexpr uint16_t kCmdDeferredStart = 101;
inline constexpr uint16_t kCmdClose = 105;
inline constexpr uint16_t kCmdStartTasks = 112;
inline constexpr uint16_t kCmdRunsChanged = 300;

// Per-job menu ids: job n's command c has the id 27000 + 207 n + (c - 201).
inline constexpr uint32_t kJobMenuIdBase = 27000;
inline constexpr uint32_t kJobMenuIdStride = 207;

// The menu id of a per-job command, or none when it does not fit in 16 bits (job
// numbers above 186) or the command is not a per-job command.
[[nodiscard]] std::optional<uint16_t> jobMenuId(int32_t jobNumber, uint16_t command) noexcept;

struct MenuChoice {
  uint16_t command = 0;
  int32_t jobNumber = 0;  // 0 for the commands that are not per job

  bool operator==(const MenuChoice&) const = default;
};

// What a chosen menu id posts: ids above 26999 are per-job ids and decode to command
// (id - 27000) mod 207 + 201 with job number (id - 27000) div 207; others stand for
// themselves with job number 0.
[[nodiscard]] MenuChoice decodeMenuId(uint16_t id) noexcept;

// The commands that can be disabled, and whether they are now. One entry: "St&op"
// (102), disabled while no run is in progress. The window procedure ignores a command
// whose entry is disabled; menus grey it.
class CommandEnableTable {
 public:
  // Brings every entry in line with the number of runs in progress.
  void refresh(int32_t runsInProgress) noexcept;
  // Whether the command has an entry and that entry is disabled now.
  [[nodiscard]] bool disabled(uint16_t command) const noexcept;
  // Whether the command has an entry at all (menus grey or enable only those).
  [[nodiscard]] bool listed(uint16_t command) const noexcept;

 private:
  struct Entry {
    uint16_t command;
    bool disabled;
    bool previous;
  };
  std::array<Entry, 1> entries_{{{kCmdStopAll, true, true}}};
};

}  // namespace crvl::shell
