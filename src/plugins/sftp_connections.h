// The connections of the SFTP plug-in module, as the console and the tray program edit
// them: sftp.ini in the per-user data folder, one section per connection (Host, Port,
// User, KeyFile, HostKey). The module itself reads the file; nothing here connects
// except readServerHostKey, which asks the module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace crvl {

class ProfileStore;
struct PluginEntry;

struct SftpConnection {
  std::u16string name;      // the section's name as the file spells it
  std::u16string host;
  uint32_t port = 22;
  std::u16string user;
  std::u16string keyFile;   // empty: the password is asked for
  std::u16string hostKey;   // "SHA256:...", "accept-new" or empty (not known)
  friend bool operator==(const SftpConnection&, const SftpConnection&) = default;
};

// Whether two connection names are the same: ASCII letters compare without case, as
// the module compares section names.
[[nodiscard]] bool sameConnectionName(std::u16string_view a, std::u16string_view b) noexcept;

// The file the module reads: sftp.ini in the per-user data folder.
[[nodiscard]] std::u16string sftpConnectionsFile();

// Whether `name` can name a section: 1 to 63 characters, no control character, none of
// [ ] / \ ; =, no blank at either end.
[[nodiscard]] bool validConnectionName(std::u16string_view name) noexcept;

// USER@HOST[:PORT]; HOST is an IPv6 address in brackets when it holds ':'. A port is
// 1 to 65535; user and host hold no blank or control character.
[[nodiscard]] bool parseSftpAddress(std::u16string_view text, SftpConnection& out);

// The port of a text field: 1 to 65535, digits only; 0 for anything else.
[[nodiscard]] uint32_t parsePort(std::u16string_view text) noexcept;

// The connections of the store's text in file order; of several sections of one name
// (names compare without case) the first counts; a section without Host is skipped.
[[nodiscard]] std::vector<SftpConnection> readSftpConnections(ProfileStore& store);

// The section named `name` (without case) as the file spells it; empty when there is none.
[[nodiscard]] std::string sftpSectionOf(ProfileStore& store, std::u16string_view name);

// Writes the connection's keys into its section (made at the end when new); an empty
// key file or host key removes that key. Other keys of the section stay.
void storeSftpConnection(ProfileStore& store, const SftpConnection& connection);

// Removes the connection's section; false when there is none of that name.
bool removeSftpConnection(ProfileStore& store, std::u16string_view name);

// The SFTP module: the first sftp.wfx64 of the plug-in list `entries`, else plugins/
// beside the program, else the installed library folder (Linux: /usr/lib/corvell/plugins
// beside /usr/bin). Empty when none is there.
[[nodiscard]] std::u16string findSftpModule(const std::vector<PluginEntry>& entries);

// What the server at host:port shows as its host key, read through the module at
// `module` (a connection without login). On success `text` is the fingerprint as
// ssh-keygen -lf prints it ("SHA256:" and base64); otherwise the reason. Blocks for as
// long as the connection takes: the tray program calls it on a thread of its own.
struct HostKeyReading {
  bool read = false;
  bool moduleFailed = false;  // the module did not load or has no such export
  std::u16string text;
};
[[nodiscard]] HostKeyReading readServerHostKey(std::u16string_view module, std::u16string_view host, uint32_t port);

}  // namespace crvl
