#include "sftp_config.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "sftp_system.h"
#include "sftp_text.h"

namespace sftp {
namespace {

struct Line {
  size_t start, end, next;  // text, its end (before CR/LF), the next line's start
};

std::vector<Line> linesOf(const std::string& t) {
  std::vector<Line> lines;
  size_t pos = t.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (pos < t.size()) {
    size_t end = pos;
    while (end < t.size() && t[end] != '\r' && t[end] != '\n') ++end;
    size_t next = end;
    if (next < t.size() && t[next] == '\r') ++next;
    if (next < t.size() && t[next] == '\n' && (next == end || t[next - 1] == '\r')) ++next;
    lines.push_back({pos, end, next});
    pos = next;
  }
  return lines;
}

// The section name of a header line, or nothing.
std::optional<std::string_view> headerName(std::string_view line) {
  if (line.empty() || line[0] != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return line.substr(1, close - 1);
}

bool keyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos || line.empty() || line[0] == ';' || line[0] == '#') return false;
  key = trimmed(line.substr(0, eq));
  value = trimmed(line.substr(eq + 1));
  return !key.empty();
}

}  // namespace

std::vector<Connection> parseConnections(const std::string& text) {
  std::vector<Connection> out;
  Connection* current = nullptr;
  std::vector<std::string> keysSeen;
  for (const Line& l : linesOf(text)) {
    const std::string_view line(text.data() + l.start, l.end - l.start);
    if (const auto name = headerName(line)) {
      current = nullptr;
      bool duplicate = false;
      for (const Connection& c : out) duplicate = duplicate || equalsIgnoringCase(c.name, *name);
      if (duplicate || name->empty()) continue;  // the first section of a name counts
      out.push_back(Connection{});
      current = &out.back();
      current->name = std::string(*name);
      current->port = 0;
      keysSeen.clear();
      continue;
    }
    std::string_view key, value;
    if (current == nullptr || !keyValue(line, key, value)) continue;
    bool repeated = false;
    for (const std::string& k : keysSeen) repeated = repeated || equalsIgnoringCase(k, key);
    if (repeated) continue;
    keysSeen.emplace_back(key);
    if (equalsIgnoringCase(key, "Host")) {
      current->host = std::string(value);
    } else if (equalsIgnoringCase(key, "Port")) {
      char* end = nullptr;
      const std::string v(value);
      const long port = std::strtol(v.c_str(), &end, 10);
      current->port = (end != v.c_str() && *end == 0 && port > 0 && port < 65536) ? static_cast<int>(port) : -1;
    } else if (equalsIgnoringCase(key, "User")) {
      current->user = std::string(value);
    } else if (equalsIgnoringCase(key, "KeyFile")) {
      current->keyFile = std::string(value);
    } else if (equalsIgnoringCase(key, "HostKey")) {
      current->hostKey = std::string(value);
    }
  }
  std::vector<Connection> usable;
  for (Connection& c : out) {
    if (c.host.empty()) continue;
    if (c.port == 0) c.port = 22;
    usable.push_back(std::move(c));
  }
  return usable;
}

bool readWholeFile(const std::string& file, std::string& text) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

std::vector<Connection> readConnections(const std::string& file) {
  std::string text;
  if (!readWholeFile(file, text)) return {};
  return parseConnections(text);
}

std::optional<Connection> findConnection(const std::string& file, const std::string& name) {
  for (Connection& c : readConnections(file)) {
    if (equalsIgnoringCase(c.name, name)) return std::move(c);
  }
  return std::nullopt;
}

std::string withHostKey(const std::string& text, const std::string& section, const std::string& value) {
  const std::vector<Line> lines = linesOf(text);
  bool inside = false, found = false;
  size_t lastKeyNext = std::string::npos;
  std::string lineEnd = "\n";
  for (const Line& l : lines) {
    const std::string_view line(text.data() + l.start, l.end - l.start);
    if (l.next > l.end) lineEnd = text.substr(l.end, l.next - l.end);
    if (const auto name = headerName(line)) {
      if (inside) break;  // the first section of the name only
      inside = !found && equalsIgnoringCase(*name, section);
      if (inside) {
        found = true;
        lastKeyNext = l.next;
      }
      continue;
    }
    if (!inside) continue;
    std::string_view key, v;
    if (!keyValue(line, key, v)) continue;
    if (equalsIgnoringCase(key, "HostKey")) {
      return text.substr(0, l.start) + std::string(key) + "=" + value + text.substr(l.end);
    }
    lastKeyNext = l.next;
  }
  if (!found) return text;
  std::string out = text.substr(0, lastKeyNext);
  if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += lineEnd;
  out += "HostKey=" + value + lineEnd;
  out += text.substr(lastKeyNext);
  return out;
}

bool replaceFile(const std::string& file, const std::string& text) {
  std::random_device random;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
  const std::string temporary = file + suffix;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    out.flush();
    if (!out) {
      out.close();
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (!replaceByRename(temporary, file)) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace sftp
