// A job: its folder pairs, option flags, filter and filter switch, and the job file
// (an INI file of its own) that holds them.
//
// Job file:
//   [CRVL]
//   Option=<filter switch>;<token of every set option, in option-table order>;<tokens
//          that this version does not know, in the order they were read>
//   Filter=<filter string; empty for a filter without conditions>
//
//   [Folder]
//   1=+<left>;<right>      included pair
//   2=-<left>;<right>      excluded pair (the scan never enters these folders)
// Keys and sections the program does not know are kept when the file is saved.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/filter.h"
#include "jobs/sync_modes.h"
#include "platform/errors.h"

namespace crvl {

class ProfileStore;

inline constexpr size_t kMaxJobNameChars = 40;
inline constexpr size_t kMaxJobPathChars = 1023;
inline constexpr size_t kMaxFolderEntryChars = 2083;

inline constexpr char16_t kIncludedPairMarker = u'+';
inline constexpr char16_t kExcludedPairMarker = u'-';

struct Job {
  OptionFlags optionFlags = 0;
  uint32_t filterSwitch = 0;  // bit 0: the filter is applied
  Filter filter;
  // Folder entries in list order: a marker ('+' included, '-' excluded) followed by a
  // folder pair "left;right". Each side may carry medium prefixes; the text is opaque
  // here apart from the ';'.
  std::vector<std::u16string> folderList;
  // The pairs of folderList without their first character: entries marked '-' in
  // excludedPairs, all others in includedPairs, both in list order. Rebuilt by
  // rebuildPairLists (readJobFile does it).
  std::vector<std::u16string> includedPairs;
  std::vector<std::u16string> excludedPairs;
  // Tokens of "Option" that no option row knows (written by a newer version), in the
  // order read: they set no flag and are written back after the known tokens.
  std::vector<std::string> unknownOptionTokens;
  std::u16string jobName;      // at most 40 characters
  std::u16string jobFilePath;  // contracted when stored, expanded by loadJob/saveJob

  [[nodiscard]] bool filterOn() const noexcept { return (filterSwitch & 1) != 0; }
};

// Splits folderList into includedPairs and excludedPairs.
void rebuildPairLists(Job& job);

// The left and right folder of a pair "left;right" (split at the first ';'; without
// one the whole text is the left side and the right side is empty).
struct FolderSides {
  std::u16string_view left;
  std::u16string_view right;
};
[[nodiscard]] FolderSides splitFolderPair(std::u16string_view pair) noexcept;

// Whether a folder pair can be stored as an entry that reads back as the same two
// sides: 0 when it can; kErrorInvalidName when a side holds ';', CR or LF (the stored
// form "left;right" on one line cannot hold them); kErrorFilenameExcedRange when the
// entry (marker, left, ';', right) is longer than kMaxFolderEntryChars.
[[nodiscard]] ErrorCode folderPairProblem(std::u16string_view left, std::u16string_view right) noexcept;

// Reads the job's values from an open store: the option word and filter switch, the
// folder entries of section "Folder" in file order (key names are not interpreted;
// empty values are skipped), and the filter. Unknown option tokens set no flag and are
// kept in unknownOptionTokens; an empty option item ends the option scan (items after
// it are neither read nor kept).
void readJobFile(Job& job, ProfileStore& store);

// Writes the job's values into an open store: "Option" (known tokens, then the unknown
// ones) and "Filter" of "CRVL" replaced in place, section "Folder" rewritten. Does not
// flush.
void writeJobFile(const Job& job, ProfileStore& store);

// Loads the job from its file. jobFilePath is expanded in place. An empty path reads
// the job from the settings store `settings` itself (its "CRVL" and "Folder"
// sections). A job loaded with no option flags gets DefaultMirrorFlags.
// Returns 0 when the values were read; kErrorFileNotFound when the job file does not
// exist; the system error when it exists but cannot be opened for reading and writing.
// In both failure cases the job is the empty job (no folders, filter off, empty
// filter) with DefaultMirrorFlags, as a run would use it.
[[nodiscard]] ErrorCode loadJob(Job& job, ProfileStore& settings);
// As above with the program's settings store.
[[nodiscard]] ErrorCode loadJob(Job& job);

// Saves the job to its file (created when missing). jobFilePath is expanded in place.
// An empty path writes into the settings store and flushes it. Returns 0 or the error
// of opening or writing the file; a file that cannot be opened is not written.
[[nodiscard]] ErrorCode saveJob(Job& job, ProfileStore& settings);
[[nodiscard]] ErrorCode saveJob(Job& job);

// Gives a job without a path its default job file: the default job files folder of
// the settings (else the per-user "CRVL" "Job" folder), the job name and ".job", made
// unique with uniqueFileName; the path is stored contracted. Does nothing when the job
// already has a path.
void defaultJobFilePath(Job& job, ProfileStore& settings);
void defaultJobFilePath(Job& job);

// `path` when no file exists there; else the same folder and extension with the file
// name replaced by the first of 1, 2, 3, ... that does not exist.
[[nodiscard]] std::u16string uniqueFileName(std::u16string_view path);

// Finds and loads the job that `reference` names: a name from the job register
// (case-insensitive; the first match counts) when there is one, else a path to a job
// file when it ends in ".job" (any case) or holds a path separator. A path longer than
// kMaxJobPathChars gives kErrorFilenameExcedRange. `*jobNumber` (when given) receives the
// register number, or -1 for a job given by path. Returns 0 when loaded;
// kErrorNotFound for a name that is not in the register or a register entry without a
// job file; kErrorFilenameExcedRange for a register entry that does not fit
// (fitsRegisterLimits, nothing loaded); kErrorInvalidData for a file that holds no job (no key in its "CRVL"
// section and no folder entry: empty, garbage, another INI file); otherwise the result
// of loadJob.
[[nodiscard]] ErrorCode loadJobByReference(std::u16string_view reference, Job& job,
                                           ProfileStore& settings, int* jobNumber = nullptr);

}  // namespace crvl
