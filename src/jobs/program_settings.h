// The program's settings file: where it lies, the keys of section "CRVL" with their
// defaults and range rules, the work-area entry, the General Options, and backup and
// restore of the whole file.
//
// The file "CRVL.INI" lies next to the program; when that folder cannot be written the
// store moves to the same name in the per-user folder and records the move in section
// "UseThis", so that later starts keep using the per-user file. The tray program and
// the console share the file. A program installed in the system's own folders (POSIX:
// /usr, /bin, /sbin, /opt) keeps its settings per user only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "jobs/profile_store.h"
#include "platform/errors.h"

namespace crvl {

// Bits of "Opt" (AppOptions). Other bits are kept as read.
enum : uint32_t {
  kAppStartWithWindows = 0x1,
  kAppNoMenuIcons = 0x2,
  kAppNoJobLogs = 0x4,
  kAppShowPassword = 0x8,
};

inline constexpr std::string_view kSettingsSection = "CRVL";
inline constexpr uint32_t kMaxStartDelaySeconds = 86'399;
inline constexpr uint32_t kDefaultLogFormat = 6;
inline constexpr uint32_t kSmallestMenuIconSize = 16;

// The process-wide settings store (opened by openProgramSettings, closed and flushed
// at process end). Thread-safe through the store's own lock.
[[nodiscard]] ProfileStore& programSettingsStore();

// --- Locations ---

// The settings file name of every program of the product: "CRVL.INI".
inline constexpr std::u16string_view kSettingsFileName = u"CRVL.INI";

// The name an earlier version derived from the program file's path: the base name (up
// to its last '.') cut to five characters, then ".INI" ("crvlc.INI" for crvlc.exe). A
// leading double quote is skipped.
[[nodiscard]] std::u16string legacySettingsFileName(std::u16string_view programPath);

// Takes over a settings file that an earlier version kept under the legacy name of the
// running program: in the per-user folder and in the program's folder, a legacy file is
// renamed to "CRVL.INI" when no such file is there yet. Returns what was renamed, as a
// line for the user ("... renamed to ..."), or an empty text.
[[nodiscard]] std::u16string takeOverLegacySettings();

// The settings file in the program's folder (P); empty when the program lies in the
// system's own folders.
[[nodiscard]] std::u16string programFolderSettingsPath();

// The per-user folder: the parent of U3_APP_DATA_PATH when the program runs from inside
// U3_HOST_EXEC_PATH and that path exists; else the application-data folder with
// "Halberic" appended.
[[nodiscard]] std::u16string perUserSettingsFolder();

// The settings file in the per-user folder (A).
[[nodiscard]] std::u16string perUserSettingsPath();

// The per-user data folder with "CRVL" and `name` appended (the default folder of job
// files for "Job", of logs for "Log").
[[nodiscard]] std::u16string defaultSettingsFolder(std::u16string_view name);

// Chooses the store's file: A when it exists, opens for reading and writing and
// carries a "UseThis" entry; else P when it exists and opens for reading and writing
// (section "UseThis" is then dropped from P's text); else A when taken; else P
// unchecked when it does not exist yet (the first flush creates it, or moves to A when
// the folder cannot be written). An existing P that cannot be opened for writing gives
// A with a "UseThis" entry, as if a flush had moved the store.
void locateSettingsFile(ProfileStore& store);

// --- Opening ---

// The hooks a program settings store is opened with: locating the file, the work-area
// entry, and the per-user file a failed flush moves to.
[[nodiscard]] ProgramSettingsHooks programSettingsHooks();

// Opens `store` as the program settings: without a path the file is located as above;
// with a path (a settings file named by the user) that file is used and never
// relocated. Checks the work-area entry.
void openProgramSettings(ProfileStore& store, std::optional<std::u16string_view> path = std::nullopt);
void openProgramSettings(std::optional<std::u16string_view> path = std::nullopt);

// Rewrites "." of section "Desk" when it does not hold the current work area; leaves it
// untouched where the system has no work area.
void checkWorkArea(ProfileStore& store);
// The same against a given size (the part that does not ask the system).
void updateWorkAreaEntry(ProfileStore& store, uint32_t width, uint32_t height);
// Whether a stored work-area value ("#" hexadecimal or decimal, "w,h") equals the size.
[[nodiscard]] bool workAreaEntryMatches(std::string_view value, uint32_t width, uint32_t height);

// --- Keys ---

[[nodiscard]] uint32_t readAppOptions(ProfileStore& settings);
// The stored menu icon size ("IconMn"); 0 when missing.
[[nodiscard]] uint32_t readMenuIconSize(ProfileStore& settings);
// The size the options dialog preselects: a size below 16 selects 16.
[[nodiscard]] uint32_t menuIconSizeChoice(uint32_t stored) noexcept;
// The log format of a stored "ExpMode" value: above 7 counts as 0, 0 becomes 6.
[[nodiscard]] uint32_t logFormatFromStored(uint32_t stored) noexcept;
[[nodiscard]] uint32_t readLogFormat(ProfileStore& settings);
// "Delay" in seconds; values above 86399 read as 0.
[[nodiscard]] uint32_t readStartDelay(ProfileStore& settings);
// "ScanThreads": the threads a run lists folders with, its own included (1 lists one
// folder after the other). Missing or 0: the processors of the machine, 2 to 4; values
// above kMaxScanThreads read as kMaxScanThreads.
inline constexpr uint32_t kMaxScanThreads = 8;
[[nodiscard]] uint32_t readScanThreads(ProfileStore& settings);
// The number of scan threads when the settings name none.
[[nodiscard]] uint32_t defaultScanThreads() noexcept;
// "CopyPool": how many threads a run copies small files with, 1 to 8 (1: one file at
// a time); 0, a missing value or one above 8 leaves it to the run (one per core).
[[nodiscard]] uint32_t readCopyWorkers(ProfileStore& settings);
// "DM": 0 disable, 1 allow, 2 force dark mode; other values read as 0.
[[nodiscard]] uint32_t readDarkMode(ProfileStore& settings);
// Writes "DM" and flushes when `choice` differs from the stored one. Returns whether
// it changed; `*flushResult` (when given) receives the flush result.
bool writeDarkMode(ProfileStore& settings, uint32_t choice, ErrorCode* flushResult = nullptr);
// The same, for a choice that also turns the menus' dark appearance on or off
// (`wasDark` before, `nowDark` after): dark menus are drawn without icons, so
// kAppNoMenuIcons of `*appOptions` is set when they turn dark and cleared when they
// turn light, and "Opt" is written with "DM" in one flush.
bool writeDarkMode(ProfileStore& settings, uint32_t choice, bool wasDark, bool nowDark, uint32_t* appOptions,
                   ErrorCode* flushResult = nullptr);
// The default job files folder, expanded. When the key is empty: the per-user default
// for the shared settings file (per-user or program folder), else a folder beside the
// settings file named after it, then "Job" ("/x/B.INI": "/x/B/Job").
[[nodiscard]] std::u16string defaultJobFolder(ProfileStore& settings);
// The log folder, expanded; the per-user default when the key is empty.
[[nodiscard]] std::u16string logFolder(ProfileStore& settings);

// Whether a Windows language id is one of the German variants.
[[nodiscard]] bool isGermanLanguage(uint16_t languageId) noexcept;
// The user-interface language code ("Language", at most 3 bytes). When the key is
// missing or empty, "DE" (German system language) or "US" is written and returned.
[[nodiscard]] std::string ensureLanguageCode(ProfileStore& settings, uint16_t systemLanguageId);

// --- General Options ---

// The copies of settings the running program keeps in memory.
struct ProgramOptionState {
  uint32_t appOptions = 0;
  uint32_t menuIconSize = 0;
  uint32_t logFormat = kDefaultLogFormat;
};

// The values of the "Configuration" dialog's controls.
struct GeneralOptions {
  bool startWithWindows = false;
  bool iconsInMenu = true;
  uint32_t menuIconSize = 16;       // the selected item's size
  uint64_t startDelaySeconds = 0;   // as typed; 86400 and more are stored as 0
  std::u16string jobFolder;         // stored as given
  bool logToFolder = true;
  std::u16string logFolder;         // stored as given
  uint32_t logFormat = kDefaultLogFormat;  // 1-7
  // The default folders the fields show for an empty key. A field that still shows its
  // default when saved keeps the key empty, so that the default goes on following the
  // user's data folder (when the program is carried to another computer, say).
  std::u16string jobFolderDefault;
  std::u16string logFolderDefault;
};

// What the dialog shows when it opens: the options of `state`, "Delay" (0 when unset),
// the icon size choice, and "Job" and "Log" as stored, or their default folders
// (expanded) when empty.
[[nodiscard]] GeneralOptions readGeneralOptions(ProfileStore& settings, const ProgramOptionState& state);

// What saving changed, for the steps that follow the dialog (start-with-Windows entry,
// menu rebuilds).
struct GeneralOptionsOutcome {
  ErrorCode flushResult = kSuccess;
  bool startWithWindowsChanged = false;
  bool menuIconsChanged = false;
  bool menuIconSizeChanged = false;
};

// The number of the delay field: leading decimal digits, 0 when there are none or
// when the number is 86400 or more.
[[nodiscard]] uint32_t parseDelayField(std::u16string_view text) noexcept;

// Stores the options: "Delay", "Job", "Log", "Opt" (bits 0-2 from the options, other
// bits kept), and "IconMn" when the size changed; the log format goes into `state`
// only (it is written at program end). Flushes. The plug-in list is saved by its own
// owner.
GeneralOptionsOutcome saveGeneralOptions(ProfileStore& settings, const GeneralOptions& options,
                                         ProgramOptionState& state);

// Writes what waits for the program's end ("ExpMode") and flushes.
[[nodiscard]] ErrorCode saveSettingsAtExit(ProfileStore& settings, const ProgramOptionState& state);

// --- Backup and restore ---

// How a backup treats a file already at its target.
enum class ExistingTarget {
  KeepAside,  // nobody was asked: the copy takes the name "name (2).ext", "(3)", ...
  Replace,    // the user agreed to replace it: the copy is renamed over it
};

// Flushes the settings and copies the file to `target`, unless `target` is the
// settings file itself (then nothing is copied). An existing target is treated as
// `existing` says. `*written` (when given) receives the path written, empty when
// nothing was copied.
[[nodiscard]] ErrorCode backupSettings(ProfileStore& settings, std::u16string_view target,
                                       std::u16string* written = nullptr,
                                       ExistingTarget existing = ExistingTarget::KeepAside);

// Copies `source` over the settings file. Nothing happens (and *restartNeeded is
// false) when `source` is the settings file itself or the copy fails (its error is the
// result). On success the store forgets its text, is frozen so that nothing the ending
// program writes overwrites the restored file, and *restartNeeded is true: the caller
// restarts the program, unfreezing the store first.
[[nodiscard]] ErrorCode restoreSettings(ProfileStore& settings, std::u16string_view source,
                                        bool* restartNeeded);

}  // namespace crvl
