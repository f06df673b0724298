#include "plugins/sftp_connections.h"

#include <algorithm>

#include "jobs/ini_text.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "platform/environment.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "plugins/plugin_list.h"

namespace crvl {
namespace {

constexpr std::u16string_view kModuleName = u"sftp.wfx64";
// The module's export that reads a server's host key (beside the plug-in interface).
using HostKeyFn = int32_t (*)(const char16_t* host, int32_t port, char16_t* out, int32_t capacity);

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

bool sameKey(std::string_view a, std::string_view b) noexcept {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

// The keys of one section as the module reads them: names without case, the first of
// a name counts.
struct SectionValues {
  std::vector<std::pair<std::string, std::string>> entries;

  static int take(void* context, std::string_view key, std::string_view value) {
    auto& entries = static_cast<SectionValues*>(context)->entries;
    const bool seen = std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return sameKey(e.first, key); });
    if (!seen) entries.emplace_back(key, value);
    return 0;
  }
  [[nodiscard]] std::u16string operator[](std::string_view key) const {
    for (const auto& [k, v] : entries) {
      if (sameKey(k, key)) return platform::fromUtf8(v);
    }
    return {};
  }
};

// Every spelling of `key` in the section, once each, as the file has them.
std::vector<std::string> spellingsOf(ProfileStore& store, const std::string& section, std::string_view key) {
  struct Found {
    std::string_view key;
    std::vector<std::string> spellings;
  } found{key, {}};
  (void)store.enumerateSectionKeys(section, [](void* context, std::string_view k) {
    auto& f = *static_cast<Found*>(context);
    if (sameKey(k, f.key)) f.spellings.emplace_back(k);
    return 0;
  }, &found);
  return std::move(found.spellings);
}

// Sets `key` so that the module reads `text` (empty: removes it): a key written in
// other case, or more than once, is removed first, since the module takes the first.
void putKey(ProfileStore& store, const std::string& section, std::string_view key, const std::u16string& text) {
  const std::vector<std::string> spellings = spellingsOf(store, section, key);
  if (text.empty() || spellings.size() > 1 || (spellings.size() == 1 && spellings[0] != key)) {
    for (const std::string& spelling : spellings) store.deleteKey(section, spelling);
  }
  if (!text.empty()) store.putString(section, key, platform::unitsToUtf8(text));
}

bool plainWord(std::u16string_view part) noexcept {
  if (part.empty()) return false;
  for (char16_t c : part) {
    if (c < 0x20 || c == u' ' || c == 0x7F) return false;
  }
  return true;
}

std::u16string systemReason(ErrorCode code) {
  std::u16string message = platform::systemMessage(code);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u'.')) {
    message.pop_back();
  }
  return message.empty() ? u"error " + platform::fromUtf8(std::to_string(code)) : message;
}

}  // namespace

bool sameConnectionName(std::u16string_view a, std::u16string_view b) noexcept {
  const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

std::u16string sftpConnectionsFile() { return perUserDataFolder(u"sftp.ini"); }

bool validConnectionName(std::u16string_view name) noexcept {
  if (name.empty() || name.size() > 63) return false;
  for (char16_t c : name) {
    if (c < 0x20 || c == u'[' || c == u']' || c == u'/' || c == u'\\' || c == u';' || c == u'=') return false;
  }
  return name.front() != u' ' && name.back() != u' ';
}

uint32_t parsePort(std::u16string_view text) noexcept {
  if (text.empty() || text.size() > 5) return 0;
  uint32_t port = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return 0;
    port = port * 10 + (c - u'0');
  }
  return port <= 65535 ? port : 0;
}

bool parseSftpAddress(std::u16string_view text, SftpConnection& out) {
  const size_t at = text.rfind(u'@');
  if (at == std::u16string_view::npos || at == 0) return false;
  std::u16string_view user = text.substr(0, at), rest = text.substr(at + 1), host, port;
  if (!rest.empty() && rest[0] == u'[') {
    const size_t close = rest.find(u']');
    if (close == std::u16string_view::npos) return false;
    host = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
    if (!rest.empty() && rest[0] != u':') return false;
    if (!rest.empty() && (port = rest.substr(1)).empty()) return false;
  } else {
    const size_t colon = rest.find(u':');
    host = rest.substr(0, colon);
    if (colon != std::u16string_view::npos && (port = rest.substr(colon + 1)).empty()) return false;
  }
  if (!plainWord(user) || !plainWord(host)) return false;
  uint32_t number = 22;
  if (!port.empty() && (number = parsePort(port)) == 0) return false;
  out.user = user;
  out.host = host;
  out.port = number;
  return true;
}

std::vector<SftpConnection> readSftpConnections(ProfileStore& store) {
  std::vector<SftpConnection> connections;
  std::vector<std::u16string> seen;
  for (const std::string& section : sectionNames(store.text())) {
    std::u16string name = platform::fromUtf8(section);
    bool repeated = false;
    for (const std::u16string& s : seen) repeated = repeated || sameConnectionName(s, name);
    if (repeated) continue;  // the first section of a name counts
    seen.push_back(name);
    SectionValues values;
    (void)store.enumerateSection(section, &SectionValues::take, &values);
    SftpConnection c;
    c.host = values["Host"];
    if (c.host.empty()) continue;
    c.name = std::move(name);
    const std::u16string port = values["Port"];
    c.port = port.empty() ? 22 : parsePort(port);
    c.user = values["User"];
    c.keyFile = values["KeyFile"];
    c.hostKey = values["HostKey"];
    connections.push_back(std::move(c));
  }
  return connections;
}

std::string sftpSectionOf(ProfileStore& store, std::u16string_view name) {
  for (const std::string& s : sectionNames(store.text())) {
    if (sameConnectionName(platform::fromUtf8(s), name)) return s;
  }
  return {};
}

void storeSftpConnection(ProfileStore& store, const SftpConnection& c) {
  std::string section = sftpSectionOf(store, c.name);
  if (section.empty()) section = platform::unitsToUtf8(c.name);
  putKey(store, section, "Host", c.host);
  putKey(store, section, "Port", platform::fromUtf8(std::to_string(c.port)));
  putKey(store, section, "User", c.user);
  putKey(store, section, "KeyFile", c.keyFile);
  putKey(store, section, "HostKey", c.hostKey);
}

bool removeSftpConnection(ProfileStore& store, std::u16string_view name) {
  const std::string section = sftpSectionOf(store, name);
  if (section.empty()) return false;
  store.deleteSection(section);
  return true;
}

std::u16string findSftpModule(const std::vector<PluginEntry>& entries) {
  std::vector<std::u16string> candidates;
  for (const PluginEntry& e : entries) candidates.push_back(expandPath(e.modulePath));
  const std::u16string program = platform::programFolder();
  for (std::u16string_view below : {u"plugins", u"../lib/corvell/plugins"}) {
    std::u16string folder, path;
    platform::joinPath(program, below, folder);
    platform::joinPath(folder, kModuleName, path);
    candidates.push_back(path);
  }
  for (const std::u16string& path : candidates) {
    if (!sameConnectionName(platform::fileNameOf(path), kModuleName)) continue;
    const uint32_t a = platform::fileAttributes(path);
    if (a != platform::kInvalidAttributes && (a & 0x10) == 0) return path;
  }
  return {};
}

HostKeyReading readServerHostKey(std::u16string_view module, std::u16string_view host, uint32_t port) {
  HostKeyReading reading;
  platform::Module loaded;
  if (const ErrorCode r = loaded.loadFile(module); r != 0) {
    reading.moduleFailed = true;
    reading.text = u"the module " + std::u16string(module) + u" could not be loaded: " + systemReason(r);
    return reading;
  }
  const auto hostKey = loaded.function<HostKeyFn>("SftpHostKeyW");
  if (hostKey == nullptr) {
    reading.moduleFailed = true;
    reading.text = u"the module " + std::u16string(module) + u" cannot read host keys";
    return reading;
  }
  const std::u16string hostName(host);
  std::u16string answer(1024, u'\0');
  reading.read = hostKey(hostName.c_str(), static_cast<int32_t>(port), answer.data(), 1024) == 0;
  answer.resize(answer.find(u'\0') == std::u16string::npos ? answer.size() : answer.find(u'\0'));
  reading.text = std::move(answer);
  return reading;
}

}  // namespace crvl
