// The XDG autostart entry ($XDG_CONFIG_HOME/autostart/<program>.desktop) that starts
// the program with the user's session.
#include "platform/startup_entry.h"

#include <string>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/posix/key_value_lines.h"

namespace crvl::platform {
namespace {

// One argument of an Exec line: quoted when it holds anything the desktop-entry rules
// reserve, with '"', '`', '$' and '\' escaped inside the quotes; then '\' doubled for
// the string value and '%' doubled for the field codes.
std::string execArgument(std::u16string_view argument) {
  const std::string text = toUtf8(argument);
  const bool quote = text.empty() || text.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
  std::string out;
  if (quote) out += '"';
  for (char c : text) {
    // Inside the quotes each of these takes a backslash, and every backslash of the
    // line is written twice in the file; '\' is reserved, so it is always quoted.
    if (c == '"' || c == '`' || c == '$') out += "\\\\";
    out += c == '\\' ? std::string("\\\\\\\\") : std::string(1, c);
    if (c == '%') out += '%';
  }
  if (quote) out += '"';
  return out;
}

}  // namespace

std::u16string startupEntryPath(std::u16string_view program) {
  std::u16string folder = appDataFolder();
  if (folder.empty()) return {};
  appendPathComponent(folder, u"autostart");
  std::u16string name(fileNameOf(program));
  if (name.empty()) return {};
  appendPathComponent(folder, name + u".desktop");
  return folder;
}

ErrorCode setStartupEntry(bool on, std::u16string_view program, std::u16string_view title,
                          const std::vector<std::u16string>& arguments) {
  const std::u16string path = startupEntryPath(program);
  if (path.empty()) return kErrorPathNotFound;
  if (!on) {
    const ErrorCode r = deleteFile(path);
    return r == kErrorFileNotFound || r == kErrorPathNotFound ? kSuccess : r;
  }
  if (pathExists(path)) return kSuccess;  // an entry that exists is left as it is
  std::string exec = execArgument(program);
  for (const std::u16string& argument : arguments) exec += " " + execArgument(argument);
  std::string name = toUtf8(title);
  for (char& c : name) c = c == '\n' || c == '\r' ? ' ' : c;
  const std::string text = "[Desktop Entry]\nType=Application\nName=" + name +
                           "\nComment=Starts the tasks of the folder synchronisation with the session\nExec=" + exec +
                           "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  return writeWholeFile(path, text);
}

bool readStartupEntry(std::u16string_view program, std::u16string* arguments) {
  std::string text;
  if (readWholeFile(startupEntryPath(program), text) != kSuccess) return false;
  const std::string exec = keyValueOf(text, "Exec");
  const std::string command = execArgument(program);
  if (exec.compare(0, command.size(), command) != 0) return false;
  if (arguments != nullptr) {
    size_t start = command.size();
    while (start < exec.size() && exec[start] == ' ') ++start;
    *arguments = fromUtf8(exec.substr(start));
  }
  return true;
}

}  // namespace crvl::platform
