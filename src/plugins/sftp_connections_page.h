// The "SFTP Connections" dialog of the plug-in page as a model without windows: the
// rows it shows and edits, the checks of its entry dialog, and how OK writes the file
// that another program (the console's sftp add, an editor) may have changed meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "plugins/sftp_connections.h"

namespace crvl {

class ProfileStore;

// What the entry dialog's OK finds wrong, each with its own message text.
enum class SftpEntryProblem : uint8_t { kNone, kName, kAddress, kKeyFile, kHostKey, kDuplicate };

class SftpConnectionsPage {
 public:
  // The rows of the store, in file order; no row selected; no change yet.
  void load(ProfileStore& store);

  [[nodiscard]] const std::vector<SftpConnection>& rows() const noexcept { return rows_; }
  [[nodiscard]] int32_t selected() const noexcept { return selected_; }
  void select(int32_t row) noexcept;
  [[nodiscard]] bool changed() const noexcept { return !touched_.empty() || !removed_.empty(); }

  // The entry dialog's checks, in this order: the name (only when adding; a name of
  // another row, without case, is a duplicate), host, port and user, the key file (it
  // must exist when given), the host key (a "SHA256:" fingerprint or "accept-new").
  [[nodiscard]] SftpEntryProblem check(const SftpConnection& entry, bool adding) const;
  // A new last row (selected); the entry passed check(entry, true).
  void add(SftpConnection entry);
  // The selected row takes the entry's values; its name stays.
  void edit(const SftpConnection& entry);
  // The selected row goes; no row is selected afterwards.
  void remove();

  // OK: applies the page's changes to the file as it is now: the sections of removed
  // rows go, added and edited rows are written (their other keys stay), and what
  // another program changed in other sections stays. Opens, writes by rename and
  // closes the store at `path`; the result is the store's error, 0 when written.
  [[nodiscard]] ErrorCode save(std::u16string_view path) const;

 private:
  std::vector<SftpConnection> rows_;
  std::vector<std::u16string> touched_;  // names of added or edited rows
  std::vector<std::u16string> removed_;  // names of removed rows that were in the file
  std::vector<std::u16string> loaded_;   // names the file had at load
  int32_t selected_ = -1;
};

}  // namespace crvl
