#include "cli/sftp_commands.h"

#include <string>
#include <vector>

#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "plugins/plugin_list.h"
#include "plugins/sftp_connections.h"

namespace crvl::cli {
namespace {

bool openConnections(ProfileStore& store) {
  const std::u16string file = sftpConnectionsFile();
  store.openStore(file, kStoreOwnFile);
  if (store.openResult() == 0) return true;
  printError(u"cannot open " + file + u": " + messageText(store.openResult()));
  return false;
}

int flushConnections(ProfileStore& store) {
  if (const ErrorCode r = store.flushStore(); r != 0) {
    printError(u"cannot write " + store.path() + u": " + messageText(r));
    return kExitActionsFailed;
  }
  return kExitOk;
}

bool confirmed(std::u16string_view question) {
  print(std::u16string(question) + u" [y/N] ");
  std::u16string answer;
  if (!platform::readInputLine(answer, 16)) answer.clear();
  return !answer.empty() && (answer[0] == u'y' || answer[0] == u'Y');
}

}  // namespace

int addSftpConnection(Console& c) {
  SftpConnection connection;
  connection.name = c.line.operands[0];
  if (!validConnectionName(connection.name)) {
    return badInput(quoted(connection.name) + u" cannot name a connection (at most 63 characters, none of [ ] / \\ ; =)");
  }
  if (!parseSftpAddress(c.line.operands[1], connection)) {
    return badInput(quoted(c.line.operands[1]) + u" is not USER@HOST or USER@HOST:PORT");
  }
  if (const auto key = c.line.value(u"key")) {
    connection.keyFile = expandPath(*key);
    const uint32_t a = platform::fileAttributes(connection.keyFile);
    if (a == platform::kInvalidAttributes || (a & 0x10) != 0) return badInput(u"no key file " + quoted(connection.keyFile));
  }
  ProfileStore store;
  if (!openConnections(store)) return kExitActionsFailed;
  if (!sftpSectionOf(store, connection.name).empty()) {
    return badInput(u"a connection named " + quoted(connection.name) + u" exists already in " + store.path());
  }

  const std::u16string module = findSftpModule(readPluginEntries(c.settings));
  if (module.empty()) return badInput(u"the SFTP plug-in module (sftp.wfx64) is not found; add it with 'plugin add'");
  HostKeyReading key = readServerHostKey(module, connection.host, connection.port);
  if (key.moduleFailed) return badInput(key.text);
  const std::u16string where = connection.host + u":" + platform::fromUtf8(std::to_string(connection.port));
  if (!key.read) {
    printError(u"cannot read the host key of " + where + u": " + key.text);
    return kExitActionsFailed;
  }
  print(u"The host key of " + where + u" is " + key.text + u"\n");
  if (!c.line.has(u"yes") &&
      !confirmed(u"Compare it with 'ssh-keygen -lf' on the server. Store connection " + connection.name + u"?")) {
    print(u"Nothing was stored\n");
    return kExitActionsFailed;
  }
  connection.hostKey = std::move(key.text);
  storeSftpConnection(store, connection);
  const int status = flushConnections(store);
  if (status == kExitOk) {
    print(u"Connection " + connection.name + u" stored in " + store.path() + u": paths beginning with ///SFTP/" +
          connection.name + u"/ reach the server's /\n");
  }
  return status;
}

int listSftpConnections(Console&) {
  ProfileStore store;
  if (!openConnections(store)) return kExitActionsFailed;
  for (const SftpConnection& c : readSftpConnections(store)) {
    print(c.name + u"  " + c.user + u"@" + c.host + u":" + platform::fromUtf8(std::to_string(c.port)) + u"  " +
          (c.keyFile.empty() ? std::u16string(u"password") : u"key " + c.keyFile) + u"  " +
          (c.hostKey.empty() ? std::u16string(u"(not known)") : c.hostKey) + u"\n");
  }
  return kExitOk;
}

int removeSftpConnection(Console& c) {
  ProfileStore store;
  if (!openConnections(store)) return kExitActionsFailed;
  const std::string section = sftpSectionOf(store, c.line.operands[0]);
  if (!crvl::removeSftpConnection(store, c.line.operands[0])) {
    return badInput(u"no connection named " + quoted(c.line.operands[0]) + u" in " + store.path());
  }
  const int status = flushConnections(store);
  if (status == kExitOk) print(u"Connection " + platform::fromUtf8(section) + u" removed\n");
  return status;
}

}  // namespace crvl::cli
