// The process environment and the well-known folders on POSIX.
#include "platform/environment.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/text.h"
#include "posix_errors.h"

extern char** environ;

namespace crvl::platform {
namespace {

bool asciiEqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

// Looks a variable up by its exact name first; names written in another case (the
// macros of stored paths compare without case, as on Windows) find the first
// variable of the block that matches without case.
const char* findVariable(std::string_view name) {
  // '=' ends a name and NUL ends the text the system sees: neither can be looked up.
  if (name.empty() || name.find_first_of(std::string_view("=\0", 2)) != std::string_view::npos) {
    return nullptr;
  }
  const std::string key(name);
  if (const char* value = std::getenv(key.c_str())) return value;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) continue;
    if (asciiEqualIgnoringCase(text.substr(0, eq), name)) return *entry + eq + 1;
  }
  return nullptr;
}

// A folder from the environment without trailing slashes (the root stays "/").
std::u16string folderFromText(std::string_view text) {
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  return fromSystemBytes(text);
}

}  // namespace

std::optional<std::u16string> environmentVariable(std::u16string_view name) {
  const char* value = findVariable(toSystemBytes(name));
  if (value == nullptr) return std::nullopt;
  return fromSystemBytes(value);
}

void setEnvironmentVariable(std::u16string_view name, const std::optional<std::u16string>& value) {
  const std::string key = toSystemBytes(name);
  if (key.empty() || key.find_first_of(std::string_view("=\0", 2)) != std::string::npos) return;
  if (value) {
    (void)::setenv(key.c_str(), toSystemBytes(*value).c_str(), 1);
  } else {
    (void)::unsetenv(key.c_str());
  }
}

std::vector<std::pair<std::u16string, std::u16string>> environmentBlock() {
  std::vector<std::pair<std::u16string, std::u16string>> block;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) continue;
    block.emplace_back(fromSystemBytes(text.substr(0, eq)), fromSystemBytes(text.substr(eq + 1)));
  }
  return block;
}

std::optional<std::u16string> expandEnvironmentText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find(u'%', i);
    if (open == std::u16string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, open - i));
    const size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) {  // a lone '%' and the rest stay
      out.append(text.substr(open));
      break;
    }
    const char* value = findVariable(toSystemBytes(text.substr(open + 1, close - open - 1)));
    if (value != nullptr) {
      out.append(fromSystemBytes(value));
    } else {
      out.append(text.substr(open, close - open + 1));  // unknown names stay as written
    }
    i = close + 1;
  }
  return out;
}

std::u16string systemProgramPath() {
  std::string buffer(4096, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return fromSystemBytes(buffer);
    }
    if (buffer.size() >= (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string appDataFolder() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return folderFromText(config);
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return {};
  std::u16string folder = folderFromText(home);
  if (folder != u"/") folder.push_back(u'/');
  folder.append(u".config");
  return folder;
}

std::u16string tempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && tmp[0] != '\0') return folderFromText(tmp);
  return u"/tmp";
}

std::u16string windowsFolder() { return u"/"; }

uint32_t setCurrentFolder(std::u16string_view path) {
  if (path.empty()) return kErrorInvalidParameter;
  if (::chdir(toSystemBytes(path).c_str()) != 0) return mapErrno(errno);
  return kSuccess;
}

std::u16string absolutePath(std::u16string_view path) {
  if (!path.empty() && path[0] == u'/') return std::u16string(path);
  std::string buffer(4096, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return {};
  std::u16string out = folderFromText(buffer.c_str());
  if (out.empty() || out.back() != u'/') out.push_back(u'/');
  out += path;
  return out;
}

std::u16string homeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] == '/' ? folderFromText(home) : std::u16string();
}

bool isSystemProgramFolder(std::u16string_view folder) noexcept {
  static constexpr std::u16string_view kSystemFolders[] = {u"/usr", u"/bin", u"/sbin", u"/lib", u"/opt"};
  for (std::u16string_view top : kSystemFolders) {
    if (folder.substr(0, top.size()) == top && (folder.size() == top.size() || folder[top.size()] == u'/')) {
      return true;
    }
  }
  return false;
}

}  // namespace crvl::platform
