// The option word of a job (which directions files and folders are added, updated and
// deleted in, and how files are compared), its job-file tokens, and the mode presets.
// A mode is never stored: the mode shown is the preset whose flags match the job's.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace crvl {

using OptionFlags = uint32_t;

enum : OptionFlags {
  kOptRecurse = 0x1,
  kOptCompareContent = 0x8,
  kOptIgnoreDate = 0x10,
  kOptTwoSecondTolerance = 0x20,
  kOptIgnoreOneHour = 0x40,
  kOptCopyNewFolders = 0x80,
  kOptCopyConflictRight = 0x100,
  kOptCopyDifferentRight = 0x200,
  kOptUpdateLeft = 0x400,
  kOptUpdateRight = 0x800,
  kOptAddLeft = 0x1000,
  kOptAddRight = 0x2000,
  kOptDeleteFilesLeft = 0x4000,
  kOptDeleteFilesRight = 0x8000,
  kOptDeleteFoldersLeft = 0x10000,
  kOptDeleteFoldersRight = 0x20000,
};

// The four comparison options; the other twelve option bits are direction options.
inline constexpr OptionFlags kComparisonOptions = 0x78;
inline constexpr OptionFlags kAllOptions = 0x3FFF9;
inline constexpr OptionFlags kDirectionOptions = kAllOptions & ~kComparisonOptions;

// The Mirror preset: the flags of a new job and of a job loaded with no flags.
inline constexpr OptionFlags DefaultMirrorFlags = 0x2AB81;

// One row of the options list: the job-file token, its bit, the icon of the list and
// the string id of its text.
struct OptionRow {
  std::string_view token;
  OptionFlags bit;
  uint8_t icon;
  uint16_t textId;
};

// The rows in list order; the job file writes set tokens in this order.
inline constexpr std::array<OptionRow, 16> OptionTable = {{
    {"<+", 0x1000, 8, 2441},  {"+>", 0x2000, 9, 2442},  {"<=", 0x400, 6, 2438},
    {"=>", 0x800, 7, 2440},   {"<-", 0x4000, 10, 2443}, {"->", 0x8000, 11, 2444},
    {"<_", 0x10000, 12, 2445}, {"_>", 0x20000, 12, 2446}, {"?", 0x100, 1, 2436},
    {"!=", 0x200, 5, 2437},   {"d", 0x1, 2, 2430},      {"d+", 0x80, 3, 2435},
    {"b", 0x8, 0, 2431},      {"nd", 0x10, 0, 2432},    {"2s", 0x20, 0, 2433},
    {"1h", 0x40, 0, 2434},
}};

// One row of the mode combo box: string id of its text and its flag value.
struct SyncModeRow {
  uint16_t textId;
  OptionFlags flags;
};

enum SyncMode : int {
  kModeUserDefined = 0,
  kModeMirror,
  kModeAugment,
  kModeRefresh,
  kModeUpdate,
  kModeConsolidation,
  kModeBidirectional,
};

inline constexpr std::array<SyncModeRow, 7> SyncModeTable = {{
    {2420, 0},        // "User defined"
    {2421, 0x2AB81},  // "Mirror"
    {2422, 0x2081},   // "Augment"
    {2423, 0x881},    // "Refresh"
    {2424, 0x2881},   // "Update"
    {2425, 0x3C81},   // "Consolidation"
    {2426, 0x3FC81},  // "Bidirectional"
}};

// The index of the first preset whose flags equal `flags` without the comparison
// options; kModeUserDefined when none does.
[[nodiscard]] int modeForFlags(OptionFlags flags) noexcept;

// The flags after choosing preset `mode`: every direction option as the preset has it,
// the comparison options kept. "User defined" and indices outside the table change
// nothing.
[[nodiscard]] OptionFlags applyMode(int mode, OptionFlags flags) noexcept;

// The token of an option bit, or an empty view when the bit has no row.
[[nodiscard]] std::string_view optionToken(OptionFlags bit) noexcept;

// The bit of a job-file token (compared byte for byte), 0 when unknown.
[[nodiscard]] OptionFlags optionForToken(std::string_view token) noexcept;

}  // namespace crvl
