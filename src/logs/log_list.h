// The "Logs" dialog without its window: the logs newest first, the selection, what
// "View" opens, the question before "Remove", and the removal itself.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "logs/log_index.h"

namespace crvl {

class LogList {
 public:
  // Fills the rows from the index in `folder` (newest first, only logs whose file
  // exists; the index is compacted when some were missing). Nothing is selected but
  // the first row.
  void load(std::u16string_view folder);

  [[nodiscard]] const std::vector<LogIndexEntry>& rows() const noexcept { return rows_; }
  void select(size_t row, bool selected);
  [[nodiscard]] bool isSelected(size_t row) const noexcept { return row < selected_.size() && selected_[row]; }
  [[nodiscard]] size_t selectedCount() const noexcept;
  // "View" and "Remove" are enabled with a selection.
  [[nodiscard]] bool canView() const noexcept { return selectedCount() != 0; }

  // The file "View" opens: the first selected row's path put in macro form and
  // expanded again; empty without a selection.
  [[nodiscard]] std::u16string viewPath() const;

  // The question before removing: text 7001 for one log, text 7002 with "%lu" replaced
  // by the number for several. `text` looks a string id up.
  [[nodiscard]] std::u16string removeQuestion(const std::function<std::u16string(uint16_t)>& text) const;

  // After "Yes": deletes the file of every selected row from the top and removes the
  // row; when a row was removed, the index is compacted. Returns the number removed.
  size_t removeSelected();

 private:
  std::u16string folder_;
  std::vector<LogIndexEntry> rows_;
  std::vector<bool> selected_;
};

}  // namespace crvl
