#include "cli/sftp_commands.h"

#include <string>
#include <vector>

#include "jobs/ini_text.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "plugins/plugin_list.h"

namespace crvl::cli {
namespace {

constexpr std::u16string_view kModuleName = u"sftp.wfx64";
// The module's export that reads a server's host key (beside the plug-in interface).
using HostKeyFn = int32_t (*)(const char16_t* host, int32_t port, char16_t* out, int32_t capacity);

bool sameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::u16string connectionsFile() { return perUserDataFolder(u"sftp.ini"); }

// The section names of the text in file order ("[name]" at the start of a line).
std::vector<std::string> sectionNames(std::string_view t) {
  std::vector<std::string> names;
  for (size_t pos = ini::firstLine(t); pos < t.size(); pos = ini::nextLine(t, pos)) {
    const std::string_view line = t.substr(pos, ini::lineEnd(t, pos) - pos);
    const size_t close = line.find(']');
    if (!line.empty() && line[0] == '[' && close != std::string_view::npos) names.emplace_back(line.substr(1, close - 1));
  }
  return names;
}

// The section of that name as the file spells it (names compare without case), or empty.
std::string sectionOf(ProfileStore& store, std::string_view name) {
  for (const std::string& s : sectionNames(store.text())) {
    if (sameAscii(s, name)) return s;
  }
  return {};
}

bool openConnections(ProfileStore& store) {
  const std::u16string file = connectionsFile();
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

// The module: the plug-in list's sftp.wfx64, else plugins/ beside the program, else the
// installed library folder (Linux: /usr/lib/corvell/plugins beside /usr/bin).
std::u16string findModule(ProfileStore& settings) {
  std::vector<std::u16string> candidates;
  for (const PluginEntry& e : readPluginEntries(settings)) candidates.push_back(expandPath(e.modulePath));
  const std::u16string program = platform::programFolder();
  for (std::u16string_view below : {u"plugins", u"../lib/corvell/plugins"}) {
    std::u16string folder, path;
    platform::joinPath(program, below, folder);
    platform::joinPath(folder, kModuleName, path);
    candidates.push_back(path);
  }
  for (const std::u16string& path : candidates) {
    if (!sameAscii(platform::unitsToUtf8(platform::fileNameOf(path)), "sftp.wfx64")) continue;
    const uint32_t a = platform::fileAttributes(path);
    if (a != platform::kInvalidAttributes && (a & 0x10) == 0) return path;
  }
  return {};
}

struct Address {
  std::u16string user, host;
  uint32_t port = 22;
};

// USER@HOST[:PORT], HOST an IPv6 address in brackets when it holds ':'.
bool parseAddress(std::u16string_view text, Address& out) {
  const size_t at = text.rfind(u'@');
  if (at == std::u16string_view::npos || at == 0) return false;
  out.user = text.substr(0, at);
  std::u16string_view rest = text.substr(at + 1);
  std::u16string_view port;
  if (!rest.empty() && rest[0] == u'[') {
    const size_t close = rest.find(u']');
    if (close == std::u16string_view::npos) return false;
    out.host = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
    if (!rest.empty() && rest[0] != u':') return false;
    port = rest.empty() ? rest : rest.substr(1);
    if (!rest.empty() && port.empty()) return false;
  } else {
    const size_t colon = rest.find(u':');
    out.host = rest.substr(0, colon);
    if (colon != std::u16string_view::npos) {
      port = rest.substr(colon + 1);
      if (port.empty()) return false;
    }
  }
  if (out.host.empty()) return false;
  if (!port.empty()) {
    uint32_t value = 0;
    for (char16_t c : port) {
      if (c < u'0' || c > u'9' || value > 65535) return false;
      value = value * 10 + (c - u'0');
    }
    if (value == 0 || value > 65535) return false;
    out.port = value;
  }
  for (std::u16string_view part : {std::u16string_view(out.user), std::u16string_view(out.host)}) {
    for (char16_t c : part) {
      if (c < 0x20 || c == u' ') return false;
    }
  }
  return true;
}

bool validName(std::u16string_view name) {
  if (name.empty() || name.size() > 63) return false;
  for (char16_t c : name) {
    if (c < 0x20 || c == u'[' || c == u']' || c == u'/' || c == u'\\' || c == u';' || c == u'=') return false;
  }
  return name.front() != u' ' && name.back() != u' ';
}

bool confirmed(std::u16string_view question) {
  print(std::u16string(question) + u" [y/N] ");
  std::u16string answer;
  if (!platform::readInputLine(answer, 16)) answer.clear();
  return !answer.empty() && (answer[0] == u'y' || answer[0] == u'Y');
}

}  // namespace

int addSftpConnection(Console& c) {
  const std::u16string& name = c.line.operands[0];
  if (!validName(name)) {
    return badInput(quoted(name) + u" cannot name a connection (at most 63 characters, none of [ ] / \\ ; =)");
  }
  Address address;
  if (!parseAddress(c.line.operands[1], address)) {
    return badInput(quoted(c.line.operands[1]) + u" is not USER@HOST or USER@HOST:PORT");
  }
  std::u16string keyFile;
  if (const auto key = c.line.value(u"key")) {
    keyFile = expandPath(*key);
    const uint32_t a = platform::fileAttributes(keyFile);
    if (a == platform::kInvalidAttributes || (a & 0x10) != 0) return badInput(u"no key file " + quoted(keyFile));
  }
  ProfileStore store;
  if (!openConnections(store)) return kExitActionsFailed;
  const std::string section = platform::unitsToUtf8(name);
  if (!sectionOf(store, section).empty()) {
    return badInput(u"a connection named " + quoted(name) + u" exists already in " + store.path());
  }

  const std::u16string module = findModule(c.settings);
  if (module.empty()) return badInput(u"the SFTP plug-in module (sftp.wfx64) is not found; add it with 'plugin add'");
  platform::Module loaded;
  HostKeyFn hostKey = nullptr;
  if (const ErrorCode r = loaded.loadFile(module); r != 0) {
    return badInput(u"the module " + module + u" could not be loaded: " + messageText(r));
  }
  hostKey = loaded.function<HostKeyFn>("SftpHostKeyW");
  if (hostKey == nullptr) return badInput(u"the module " + module + u" cannot read host keys");
  std::u16string answer(1024, u'\0');
  const int32_t failed = hostKey(address.host.c_str(), static_cast<int32_t>(address.port), answer.data(), 1024);
  answer.resize(answer.find(u'\0'));
  const std::u16string where = address.host + u":" + platform::fromUtf8(std::to_string(address.port));
  if (failed != 0) {
    printError(u"cannot read the host key of " + where + u": " + answer);
    return kExitActionsFailed;
  }
  print(u"The host key of " + where + u" is " + answer + u"\n");
  if (!c.line.has(u"yes") &&
      !confirmed(u"Compare it with 'ssh-keygen -lf' on the server. Store connection " + name + u"?")) {
    print(u"Nothing was stored\n");
    return kExitActionsFailed;
  }
  store.putString(section, "Host", platform::unitsToUtf8(address.host));
  store.putString(section, "Port", std::to_string(address.port));
  store.putString(section, "User", platform::unitsToUtf8(address.user));
  if (!keyFile.empty()) store.putString(section, "KeyFile", platform::unitsToUtf8(keyFile));
  store.putString(section, "HostKey", platform::unitsToUtf8(answer));
  const int status = flushConnections(store);
  if (status == kExitOk) {
    print(u"Connection " + name + u" stored in " + store.path() + u": paths beginning with ///SFTP/" + name +
          u"/ reach the server's /\n");
  }
  return status;
}

int listSftpConnections(Console&) {
  ProfileStore store;
  if (!openConnections(store)) return kExitActionsFailed;
  std::vector<std::string> seen;
  for (const std::string& section : sectionNames(store.text())) {
    bool repeated = false;
    for (const std::string& s : seen) repeated = repeated || sameAscii(s, section);
    if (repeated) continue;  // the first section of a name counts
    seen.push_back(section);
    std::string host, port, user, key, hostKey;
    store.getString(section, "Host", nullptr, host);
    if (host.empty()) continue;
    store.getString(section, "Port", "22", port);
    store.getString(section, "User", nullptr, user);
    store.getString(section, "KeyFile", nullptr, key);
    store.getString(section, "HostKey", "(not known)", hostKey);
    print(platform::fromUtf8(section + "  " + user + "@" + host + ":" + port + "  " +
                             (key.empty() ? std::string("password") : "key " + key) + "  " + hostKey + "\n"));
  }
  return kExitOk;
}

int removeSftpConnection(Console& c) {
  ProfileStore store;
  if (!openConnections(store)) return kExitActionsFailed;
  const std::string section = sectionOf(store, platform::unitsToUtf8(c.line.operands[0]));
  if (section.empty()) return badInput(u"no connection named " + quoted(c.line.operands[0]) + u" in " + store.path());
  store.deleteSection(section);
  const int status = flushConnections(store);
  if (status == kExitOk) print(u"Connection " + platform::fromUtf8(section) + u" removed\n");
  return status;
}

}  // namespace crvl::cli
