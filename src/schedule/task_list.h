// The "Planed Tasks" list without its window: the rows (whole task records), the
// selection, the tool buttons' rules, and saving on "&OK". Nothing is stored before
// commit; dropping the list is "Cancel".
#pragma once

#include <cstdint>
#include <vector>

#include "platform/errors.h"
#include "schedule/task.h"

namespace crvl {

class ProfileStore;

// The enabled state of the tool buttons.
struct TaskListButtons {
  bool add = true;
  bool edit = false;      // with a selection
  bool remove = false;    // with a selection
  bool moveUp = false;    // the selection is not the first row
  bool moveDown = false;  // the selection is not the last row
  bool operator==(const TaskListButtons&) const = default;
};

class TaskList {
 public:
  TaskList() = default;
  explicit TaskList(std::vector<Task> rows) : rows_(std::move(rows)) {}

  // The valid tasks of the settings; nothing selected.
  void load(ProfileStore& settings);
  // Saves the rows as the task list (section "Task") and flushes.
  [[nodiscard]] ErrorCode commit(ProfileStore& settings) const;

  [[nodiscard]] const std::vector<Task>& rows() const noexcept { return rows_; }
  [[nodiscard]] int selected() const noexcept { return selected_; }
  // Selecting outside the list selects nothing.
  void select(int row) noexcept;
  [[nodiscard]] TaskListButtons buttons() const noexcept;

  // "Add New": appends a confirmed task and selects it; a task without a job name is
  // not taken. Returns whether it was added.
  bool add(Task task);
  // "Edit": replaces the selected row. Returns false without a selection or a name.
  bool editSelected(Task task);
  // "Remove": deletes the selected row without asking; the row that takes its place
  // (or the new last row) is selected.
  bool removeSelected();
  // Swap the selected row with its neighbour; the selection follows the row.
  bool moveUp();
  bool moveDown();

  // The "Details" column of a row: the id of its kind's text, 0 for an unknown kind.
  [[nodiscard]] static uint16_t detailsTextId(char kind) noexcept;

 private:
  std::vector<Task> rows_;
  int selected_ = -1;
};

}  // namespace crvl
