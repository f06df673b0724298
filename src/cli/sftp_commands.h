// The console's commands for the connections of the SFTP plug-in module, which it
// keeps in sftp.ini of the per-user data folder (one section per connection: Host, Port,
// User, KeyFile, HostKey).
#pragma once

#include "cli/console_io.h"

namespace crvl::cli {

// sftp add NAME USER@HOST[:PORT] [--key FILE] [--yes]: connects once through the module
// (the plug-in list's sftp.wfx64, else the one in plugins/ beside the program or in the
// installed library folder), prints the server's host key fingerprint and stores the
// connection with it after the user confirms (at once with --yes).
[[nodiscard]] int addSftpConnection(Console& console);
// sftp list: every connection of sftp.ini.
[[nodiscard]] int listSftpConnections(Console& console);
// sftp remove NAME: the connection's section goes.
[[nodiscard]] int removeSftpConnection(Console& console);

}  // namespace crvl::cli
