#include "schedule/task_list.h"

#include <utility>

#include "schedule/plan_form.h"

namespace crvl {

void TaskList::load(ProfileStore& settings) {
  rows_ = loadTasks(settings);
  selected_ = -1;
}

ErrorCode TaskList::commit(ProfileStore& settings) const { return saveTasks(rows_, settings); }

void TaskList::select(int row) noexcept {
  selected_ = row >= 0 && static_cast<size_t>(row) < rows_.size() ? row : -1;
}

TaskListButtons TaskList::buttons() const noexcept {
  TaskListButtons b;
  if (selected_ < 0) return b;
  b.edit = true;
  b.remove = true;
  b.moveUp = selected_ > 0;
  b.moveDown = static_cast<size_t>(selected_) + 1 < rows_.size();
  return b;
}

bool TaskList::add(Task task) {
  if (!task.valid()) return false;
  rows_.push_back(std::move(task));
  selected_ = static_cast<int>(rows_.size()) - 1;
  return true;
}

bool TaskList::editSelected(Task task) {
  if (selected_ < 0 || !task.valid()) return false;
  rows_[static_cast<size_t>(selected_)] = std::move(task);
  return true;
}

bool TaskList::removeSelected() {
  if (selected_ < 0) return false;
  rows_.erase(rows_.begin() + selected_);
  if (static_cast<size_t>(selected_) >= rows_.size()) selected_ = static_cast<int>(rows_.size()) - 1;
  return true;
}

bool TaskList::moveUp() {
  if (selected_ <= 0) return false;
  std::swap(rows_[static_cast<size_t>(selected_)], rows_[static_cast<size_t>(selected_) - 1]);
  --selected_;
  return true;
}

bool TaskList::moveDown() {
  if (selected_ < 0 || static_cast<size_t>(selected_) + 1 >= rows_.size()) return false;
  std::swap(rows_[static_cast<size_t>(selected_)], rows_[static_cast<size_t>(selected_) + 1]);
  ++selected_;
  return true;
}

uint16_t TaskList::detailsTextId(char kind) noexcept {
  for (const PlanChoice& choice : kPlanKinds) {
    if (choice.code == kind) return choice.textId;
  }
  return 0;
}

}  // namespace crvl
