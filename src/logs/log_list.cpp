#include "logs/log_list.h"

#include "jobs/path_macros.h"
#include "platform/files.h"
#include "platform/text.h"

namespace crvl {
namespace {

constexpr uint16_t kTextRemoveOneLog = 7001;
constexpr uint16_t kTextRemoveLogs = 7002;

}  // namespace

void LogList::load(std::u16string_view folder) {
  folder_.assign(folder);
  rows_ = listJobLogs(folder_);
  selected_.assign(rows_.size(), false);
  if (!selected_.empty()) selected_[0] = true;
}

void LogList::select(size_t row, bool selected) {
  if (row < selected_.size()) selected_[row] = selected;
}

size_t LogList::selectedCount() const noexcept {
  size_t n = 0;
  for (bool s : selected_) n += s ? 1 : 0;
  return n;
}

std::u16string LogList::viewPath() const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (selected_[i]) return expandPath(contractPath(rows_[i].logPath));
  }
  return {};
}

std::u16string LogList::removeQuestion(const std::function<std::u16string(uint16_t)>& text) const {
  const size_t count = selectedCount();
  if (count <= 1) return text(kTextRemoveOneLog);
  std::u16string question = text(kTextRemoveLogs);
  const size_t at = question.find(u"%lu");
  if (at != std::u16string::npos) question.replace(at, 3, platform::fromUtf8(std::to_string(count)));
  return question;
}

size_t LogList::removeSelected() {
  size_t removed = 0;
  for (size_t i = 0; i < rows_.size();) {
    if (!selected_[i]) {
      ++i;
      continue;
    }
    (void)platform::deleteFile(expandPath(contractPath(rows_[i].logPath)));
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(i));
    selected_.erase(selected_.begin() + static_cast<std::ptrdiff_t>(i));
    ++removed;
  }
  if (removed != 0) (void)compactLogIndex(logIndexPath(folder_));
  return removed;
}

}  // namespace crvl
