// The connections of the SFTP module, one INI section each in sftp.ini (the file that
// the program names in FsSetDefaultParams). Read with the program's INI rules: lines
// end in CR LF, LF or CR, a UTF-8 byte order mark is skipped, "[name]" starts a
// section, "Key = value" lines (blanks around '=' dropped); the first of two equal
// sections or keys counts. Section and key names are compared without regard to case.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sftp {

struct Connection {
  std::string name;  // the section name as written
  std::string host;
  int port = 22;
  std::string user;
  std::string keyFile;  // empty: password only
  std::string hostKey;  // "SHA256:..." or "accept-new" or empty (unknown)
};

// Every connection of the text, in file order (sections without Host are left out).
std::vector<Connection> parseConnections(const std::string& text);

// The connection of that name from the file, if the file holds one.
std::optional<Connection> findConnection(const std::string& file, const std::string& name);
std::vector<Connection> readConnections(const std::string& file);

// The text with the section's HostKey set to `value` (the first HostKey line of the
// section replaced, or a line added after its last key line); the rest stays byte for
// byte. Unchanged when the section is missing.
std::string withHostKey(const std::string& text, const std::string& section, const std::string& value);

// Writes `text` to `file` by a temporary file beside it and a rename, so the file is
// never seen half written. False on any failure (the old file then stays).
bool replaceFile(const std::string& file, const std::string& text);

bool readWholeFile(const std::string& file, std::string& text);

}  // namespace sftp
