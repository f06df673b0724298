// The job register list model.
#include "jobs/register_list.h"

#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "platform/files.h"

namespace crvl {

RegisterList::RegisterList(std::vector<RegisterRow> rows) : rows_(std::move(rows)) {
  loaded_ = rows_;
  origins_.resize(rows_.size());
  for (size_t i = 0; i < origins_.size(); ++i) origins_[i] = i;
  recomputeDepths();
}

void RegisterList::load(ProfileStore& settings) {
  *this = RegisterList(readRegister(settings));
}

ErrorCode RegisterList::commit(ProfileStore& settings) const {
  const StoreUpdate update(settings);
  if (update.status() != kSuccess) return update.status();
  return writeRegister(mergeRegisterEdits(loaded_, rows_, origins_, readRegister(settings)), settings);
}

void RegisterList::select(int row) noexcept {
  selected_ = row >= 0 && static_cast<size_t>(row) < rows_.size() ? row : -1;
}

void RegisterList::recomputeDepths() {
  depths_.resize(rows_.size());
  size_t level = 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].kind == RegisterKind::GroupEnd && level > 0) --level;
    depths_[i] = level;
    if (rows_[i].kind == RegisterKind::GroupStart) ++level;
  }
}

size_t RegisterList::depth(size_t row) const { return row < depths_.size() ? depths_[row] : 0; }

std::u16string RegisterList::displayText(size_t row) const {
  if (row >= rows_.size()) return {};
  std::u16string text(depth(row) * kIndentPerLevel, u' ');
  switch (rows_[row].kind) {
    case RegisterKind::Job:
    case RegisterKind::GroupStart: text += rows_[row].name; break;
    case RegisterKind::GroupEnd: text += u"-"; break;
    case RegisterKind::Separator: text += kSeparatorDisplay; break;
  }
  return text;
}

std::u16string RegisterList::displayPath(size_t row) const {
  if (row >= rows_.size() || rows_[row].kind != RegisterKind::Job) return {};
  return expandPath(rows_[row].path);
}

std::u16string RegisterList::newName(std::u16string_view baseText) const {
  return newJobName(rows_, baseText);
}

Job RegisterList::newJob(std::u16string_view baseText) const {
  Job job;
  job.optionFlags = DefaultMirrorFlags;
  job.filterSwitch = 0;
  job.jobName = newName(baseText);
  return job;
}

size_t RegisterList::insertRow(RegisterRow row) {
  const size_t at = selected_ < 0 ? rows_.size() : static_cast<size_t>(selected_) + 1;
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
  origins_.insert(origins_.begin() + static_cast<std::ptrdiff_t>(at), kNewRegisterRow);
  selected_ = static_cast<int>(at);
  recomputeDepths();
  return at;
}

size_t RegisterList::insertJob(const Job& job) {
  RegisterRow row;
  row.kind = RegisterKind::Job;
  row.name.assign(trimLeadingBlanks(job.jobName).substr(0, kMaxJobNameChars));
  row.path = contractPath(job.jobFilePath);
  return insertRow(std::move(row));
}

size_t RegisterList::addMenu(std::u16string_view baseText) {
  RegisterRow start;
  start.kind = RegisterKind::GroupStart;
  start.name = newName(baseText);
  const size_t at = insertRow(std::move(start));
  RegisterRow end;
  end.kind = RegisterKind::GroupEnd;
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at + 1), std::move(end));
  origins_.insert(origins_.begin() + static_cast<std::ptrdiff_t>(at + 1), kNewRegisterRow);
  recomputeDepths();
  return at;
}

size_t RegisterList::addSeparator() {
  RegisterRow row;
  row.kind = RegisterKind::Separator;
  return insertRow(std::move(row));
}

bool RegisterList::selectedIs(RegisterKind kind) const noexcept {
  return selected_ >= 0 && rows_[static_cast<size_t>(selected_)].kind == kind;
}

bool RegisterList::removeSelected() {
  if (selected_ < 0 || selectedIs(RegisterKind::GroupEnd)) return false;
  const size_t at = static_cast<size_t>(selected_);
  if (rows_[at].kind == RegisterKind::GroupStart) {
    // The matching end is the first end at this start's own nesting level.
    size_t open = 0;
    for (size_t i = at + 1; i < rows_.size(); ++i) {
      if (rows_[i].kind == RegisterKind::GroupStart) {
        ++open;
      } else if (rows_[i].kind == RegisterKind::GroupEnd) {
        if (open == 0) {
          rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(i));
          origins_.erase(origins_.begin() + static_cast<std::ptrdiff_t>(i));
          break;
        }
        --open;
      }
    }
  }
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
  origins_.erase(origins_.begin() + static_cast<std::ptrdiff_t>(at));
  if (rows_.empty()) {
    selected_ = -1;
  } else {
    selected_ = static_cast<int>(at < rows_.size() ? at : rows_.size() - 1);
  }
  recomputeDepths();
  return true;
}

bool RegisterList::moveUp() {
  if (!selectedIs(RegisterKind::Job) && !selectedIs(RegisterKind::Separator)) return false;
  const size_t at = static_cast<size_t>(selected_);
  if (at == 0) return false;
  std::swap(rows_[at], rows_[at - 1]);
  std::swap(origins_[at], origins_[at - 1]);
  --selected_;
  recomputeDepths();
  return true;
}

bool RegisterList::moveDown() {
  if (!selectedIs(RegisterKind::Job) && !selectedIs(RegisterKind::Separator)) return false;
  const size_t at = static_cast<size_t>(selected_);
  if (at + 1 >= rows_.size()) return false;
  std::swap(rows_[at], rows_[at + 1]);
  std::swap(origins_[at], origins_[at + 1]);
  ++selected_;
  recomputeDepths();
  return true;
}

bool RegisterList::canRename(size_t row) const {
  return row < rows_.size() &&
         (rows_[row].kind == RegisterKind::Job || rows_[row].kind == RegisterKind::GroupStart);
}

bool RegisterList::rename(size_t row, std::u16string_view name) {
  if (!canRename(row)) return false;
  name = trimLeadingBlanks(name);
  if (rows_[row].kind == RegisterKind::Job) name = name.substr(0, kMaxJobNameChars);
  rows_[row].name.assign(name);
  return true;
}

ErrorCode RegisterList::loadRowJob(size_t row, ProfileStore& settings, Job& job) const {
  job = Job{};
  if (row >= rows_.size() || rows_[row].kind != RegisterKind::Job) return kErrorInvalidParameter;
  job.jobName = rows_[row].name;
  job.jobFilePath = rows_[row].path;
  return loadJob(job, settings);
}

void RegisterList::updateJobRow(size_t row, const Job& job) {
  if (row >= rows_.size() || rows_[row].kind != RegisterKind::Job) return;
  rows_[row].name.assign(trimLeadingBlanks(job.jobName).substr(0, kMaxJobNameChars));
  rows_[row].path = contractPath(job.jobFilePath);
}

bool RegisterList::openJobFile(std::u16string_view path) {
  if (!selectedIs(RegisterKind::Job)) return false;
  rows_[static_cast<size_t>(selected_)].path = contractPath(path);
  return true;
}

ErrorCode RegisterList::saveJobFileAs(std::u16string_view path) {
  if (!selectedIs(RegisterKind::Job)) return kErrorInvalidFunction;
  RegisterRow& row = rows_[static_cast<size_t>(selected_)];
  const std::u16string current = expandPath(row.path);
  if (pathsEqual(current, path)) return kSuccess;
  const ErrorCode copied = platform::copyFile(current, path);
  if (copied == kSuccess) row.path = contractPath(path);
  return copied;
}

ErrorCode storeEditedJob(Job& job, ProfileStore& settings) {
  defaultJobFilePath(job, settings);
  const ErrorCode saved = saveJob(job, settings);
  job.jobFilePath = contractPath(job.jobFilePath);
  return saved;
}

}  // namespace crvl
