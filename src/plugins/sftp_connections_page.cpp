#include "plugins/sftp_connections_page.h"

#include <algorithm>

#include "jobs/profile_store.h"
#include "platform/files.h"

namespace crvl {
namespace {

bool holds(const std::vector<std::u16string>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(), [&](const std::u16string& n) { return sameConnectionName(n, name); });
}

void forget(std::vector<std::u16string>& names, std::u16string_view name) {
  std::erase_if(names, [&](const std::u16string& n) { return sameConnectionName(n, name); });
}

bool plain(std::u16string_view text) noexcept {
  return !text.empty() && std::none_of(text.begin(), text.end(), [](char16_t c) { return c <= u' ' || c == 0x7F; });
}

// "SHA256:" and 43 characters of unpadded base64, as ssh-keygen -lf prints it.
bool fingerprintForm(std::u16string_view key) noexcept {
  constexpr std::u16string_view kPrefix = u"SHA256:";
  if (key.size() != kPrefix.size() + 43 || key.substr(0, kPrefix.size()) != kPrefix) return false;
  return std::all_of(key.begin() + kPrefix.size(), key.end(), [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'+' || c == u'/';
  });
}

}  // namespace

void SftpConnectionsPage::load(ProfileStore& store) {
  rows_ = readSftpConnections(store);
  loaded_.clear();
  for (const SftpConnection& c : rows_) loaded_.push_back(c.name);
  touched_.clear();
  removed_.clear();
  selected_ = -1;
}

void SftpConnectionsPage::select(int32_t row) noexcept {
  selected_ = row >= 0 && static_cast<size_t>(row) < rows_.size() ? row : -1;
}

SftpEntryProblem SftpConnectionsPage::check(const SftpConnection& entry, bool adding) const {
  if (adding) {
    if (!validConnectionName(entry.name)) return SftpEntryProblem::kName;
    if (std::any_of(rows_.begin(), rows_.end(), [&](const SftpConnection& c) { return sameConnectionName(c.name, entry.name); })) {
      return SftpEntryProblem::kDuplicate;
    }
  }
  if (!plain(entry.host) || !plain(entry.user) || entry.port == 0 || entry.port > 65535) {
    return SftpEntryProblem::kAddress;
  }
  if (!entry.keyFile.empty()) {
    const uint32_t a = platform::fileAttributes(entry.keyFile);
    if (a == platform::kInvalidAttributes || (a & 0x10) != 0) return SftpEntryProblem::kKeyFile;
  }
  if (entry.hostKey != u"accept-new" && !fingerprintForm(entry.hostKey)) return SftpEntryProblem::kHostKey;
  return SftpEntryProblem::kNone;
}

void SftpConnectionsPage::add(SftpConnection entry) {
  forget(touched_, entry.name);
  touched_.push_back(entry.name);
  rows_.push_back(std::move(entry));
  selected_ = static_cast<int32_t>(rows_.size() - 1);
}

void SftpConnectionsPage::edit(const SftpConnection& entry) {
  if (selected_ < 0) return;
  SftpConnection& row = rows_[static_cast<size_t>(selected_)];
  std::u16string name = row.name;
  row = entry;
  row.name = std::move(name);
  if (!holds(touched_, row.name)) touched_.push_back(row.name);
}

void SftpConnectionsPage::remove() {
  if (selected_ < 0) return;
  const std::u16string name = rows_[static_cast<size_t>(selected_)].name;
  rows_.erase(rows_.begin() + selected_);
  forget(touched_, name);
  // A row added on this page never was in the file: a section that another program
  // made meanwhile under that name is not this page's to remove.
  if (holds(loaded_, name) && !holds(removed_, name)) removed_.push_back(name);
  selected_ = -1;
}

ErrorCode SftpConnectionsPage::save(std::u16string_view path) const {
  ProfileStore store;
  store.openStore(path, kStoreOwnFile);
  if (store.openResult() != 0) return store.openResult();
  for (const std::u16string& name : removed_) (void)removeSftpConnection(store, name);
  for (const SftpConnection& c : rows_) {
    if (holds(touched_, c.name)) storeSftpConnection(store, c);
  }
  return store.flushStore();
}

}  // namespace crvl
