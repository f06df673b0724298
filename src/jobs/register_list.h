// The job register as an editable list of rows: what the configuration dialog shows
// and changes. Rows are jobs, menu group starts and ends, and separators; names are
// kept without indent, the display adds three blanks per open group level. Nothing is
// stored until commit (OK); discarding the list leaves the register as it was. The
// list remembers which loaded row each row came from, so that commit can lay the edits
// onto a register that another process changed meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/job.h"
#include "jobs/job_register.h"
#include "jobs/register_merge.h"
#include "platform/errors.h"

namespace crvl {

class ProfileStore;

inline constexpr std::u16string_view kSeparatorDisplay = u"----------";
inline constexpr size_t kIndentPerLevel = 3;

class RegisterList {
 public:
  RegisterList() = default;
  explicit RegisterList(std::vector<RegisterRow> rows);

  // Replaces the rows by the register of `settings`; no row is selected.
  void load(ProfileStore& settings);
  // Under the lock between processes, reads the register again, lays the edits since
  // load onto it (see mergeRegisterEdits), writes the result as the register (keys
  // "1".."n") and flushes the settings. Returns the lock's or the flush's error; the
  // rows stay as they are, so a failed commit may be tried again.
  [[nodiscard]] ErrorCode commit(ProfileStore& settings) const;

  [[nodiscard]] const std::vector<RegisterRow>& rows() const noexcept { return rows_; }
  [[nodiscard]] size_t size() const noexcept { return rows_.size(); }

  // The selected row, or -1. Selecting an index outside the list selects nothing.
  [[nodiscard]] int selected() const noexcept { return selected_; }
  void select(int row) noexcept;

  // The group depth of a row: the number of groups open above it (a group's start and
  // end rows stand at the depth outside the group). Groups without an end stay open to
  // the end of the list; an end without a start does not go below 0.
  [[nodiscard]] size_t depth(size_t row) const;
  // The text of a row as shown: the indent, then the job or group name ("-" for a group
  // end, a line of dashes for a separator).
  [[nodiscard]] std::u16string displayText(size_t row) const;
  // The path column: the job file path expanded; empty for other rows.
  [[nodiscard]] std::u16string displayPath(size_t row) const;

  // A name that no row bears (see newJobName).
  [[nodiscard]] std::u16string newName(std::u16string_view baseText = u"Untitled") const;
  // A new job for "Add New": the Mirror flags, the filter off and a new name.
  [[nodiscard]] Job newJob(std::u16string_view baseText = u"Untitled") const;

  // Inserts a row after the selected row (at the end when none is selected) and
  // selects it. Returns its index.
  size_t insertRow(RegisterRow row);
  // Inserts a job row for an edited job (name, contracted path).
  size_t insertJob(const Job& job);
  // Inserts a group start with a new name and its end right after it; the start is
  // selected (for renaming). Returns the start's index.
  size_t addMenu(std::u16string_view baseText = u"Untitled");
  size_t addSeparator();

  // Removes the selected row: a job or separator alone, a group start together with
  // its matching end (the rows between move up one level). A group end alone cannot be
  // removed. Afterwards the row now at the same place is selected (or the last row).
  // Returns whether a row was removed.
  bool removeSelected();

  // Moves the selected job or separator row one place; false (the caller beeps) at the
  // first or last place, for other rows or without a selection.
  bool moveUp();
  bool moveDown();

  // Renaming in place is allowed on job rows and group starts only.
  [[nodiscard]] bool canRename(size_t row) const;
  // Sets the name (leading blanks removed; job names cut to 40 characters). Returns
  // false when the row cannot be renamed.
  bool rename(size_t row, std::u16string_view name);

  // The job of a row for the editor: its name and path, loaded with loadJob.
  [[nodiscard]] ErrorCode loadRowJob(size_t row, ProfileStore& settings, Job& job) const;
  // After the editor saved a job: the row takes the job's name and (contracted) path.
  void updateJobRow(size_t row, const Job& job);

  // "Open": the selected job row keeps its name and takes `path` (contracted).
  bool openJobFile(std::u16string_view path);
  // "Save": copies the selected job's file to `path` and points the row at the copy.
  // Nothing happens when `path` is the current file. Returns the copy's result;
  // kErrorInvalidFunction without a selected job row.
  [[nodiscard]] ErrorCode saveJobFileAs(std::u16string_view path);

 private:
  void recomputeDepths();
  [[nodiscard]] bool selectedIs(RegisterKind kind) const noexcept;

  std::vector<RegisterRow> rows_;
  std::vector<RegisterRow> loaded_;  // the register as load read it
  std::vector<size_t> origins_;      // per row: its index in loaded_, or kNewRegisterRow
  std::vector<size_t> depths_;
  int selected_ = -1;
};

// The editor's OK for a job: a job without a path gets its default job file, the job
// is saved, and its path is kept contracted. Returns the save result.
[[nodiscard]] ErrorCode storeEditedJob(Job& job, ProfileStore& settings);

}  // namespace crvl
