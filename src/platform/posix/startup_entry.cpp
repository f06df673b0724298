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

// Appends one argument of an Exec line: quoted when it holds anything the desktop-entry
// rules reserve, with '"', '`', '$' and '\' escaped inside the quotes; then, for the
// string value, '\' doubled and line breaks and tabs written as the escapes \n, \r, \t;
// '%' doubled for the field codes. False, nothing appended, for what a desktop entry
// cannot hold: other control characters and bytes that are not UTF-8 (U+DC80 + byte),
// or any lone surrogate.
bool appendExecArgument(std::u16string_view argument, std::string& exec) {
  for (size_t i = 0; i < argument.size(); ++i) {
    const char16_t c = argument[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < argument.size() && argument[i + 1] >= 0xDC00 && argument[i + 1] < 0xE000) {
      ++i;  // a pair: one character
    } else if ((c >= 0xD800 && c < 0xE000) || ((c < 0x20 || c == 0x7F) && c != u'\n' && c != u'\r' && c != u'\t')) {
      return false;
    }
  }
  const std::string text = toUtf8(argument);
  const bool quote = text.empty() || text.find_first_of(" \t\n\r\"'\\><~|&;$*?#()`") != std::string::npos;
  std::string out;
  if (quote) out += '"';
  for (char c : text) {
    // Inside the quotes each of these takes a backslash, and every backslash of the
    // line is written twice in the file; '\' is reserved, so it is always quoted.
    if (c == '"' || c == '`' || c == '$') out += "\\\\";
    if (c == '\\') {
      out += "\\\\\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
    if (c == '%') out += '%';
  }
  if (quote) out += '"';
  exec += out;
  return true;
}

// The name of the entry: the program file's name, then the tag.
std::u16string entryName(std::u16string_view program, std::u16string_view tag) {
  std::u16string name(fileNameOf(program));
  if (name.empty()) return {};
  if (!tag.empty()) name += u"-" + std::u16string(tag);
  return name + u".desktop";
}

}  // namespace

std::u16string startupEntryPath(std::u16string_view program, std::u16string_view tag) {
  std::u16string folder = appDataFolder();
  if (folder.empty()) return {};
  const std::u16string name = entryName(program, tag);
  if (name.empty()) return {};
  appendPathComponent(folder, u"autostart");
  appendPathComponent(folder, name);
  return folder;
}

ErrorCode setStartupEntry(bool on, std::u16string_view program, std::u16string_view tag, std::u16string_view title,
                          const std::vector<std::u16string>& arguments) {
  const std::u16string path = startupEntryPath(program, tag);
  if (path.empty()) return kErrorPathNotFound;
  if (!on) {
    const ErrorCode r = deleteFile(path);
    return r == kErrorFileNotFound || r == kErrorPathNotFound ? kSuccess : r;
  }
  if (pathExists(path)) return kSuccess;  // an entry that exists is left as it is
  std::string exec;
  if (!appendExecArgument(program, exec)) return kErrorInvalidName;
  for (const std::u16string& argument : arguments) {
    exec += ' ';
    if (!appendExecArgument(argument, exec)) return kErrorInvalidName;
  }
  std::string name = toUtf8(title);
  for (char& c : name) c = c == '\n' || c == '\r' ? ' ' : c;
  const std::string text = "[Desktop Entry]\nType=Application\nName=" + name +
                           "\nComment=Starts the tasks of the folder synchronisation with the session\nExec=" + exec +
                           "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  return writeWholeFile(path, text);
}

bool readStartupEntry(std::u16string_view program, std::u16string_view tag, std::u16string* arguments) {
  std::string text;
  if (readWholeFile(startupEntryPath(program, tag), text) != kSuccess) return false;
  const std::string exec = keyValueOf(text, "Exec");
  std::string command;
  if (!appendExecArgument(program, command) || exec.compare(0, command.size(), command) != 0) return false;
  if (arguments != nullptr) {
    size_t start = command.size();
    while (start < exec.size() && exec[start] == ' ') ++start;
    *arguments = fromUtf8(exec.substr(start));
  }
  return true;
}

}  // namespace crvl::platform
