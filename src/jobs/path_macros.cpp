// Path macros: expansion and contraction of stored paths, normalisation of "." and
// ".." components, and the path predicates of the settings and job code.
#include "jobs/path_macros.h"

#include "os_traits.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace crvl {
namespace {

constexpr std::u16string_view kProgramMacro = u"%MY_PATH%";
constexpr std::u16string_view kOldProgramMacro = u"%VEVOVIZOR_PATH%";
constexpr std::u16string_view kAppDataMacro = u"%APPDATA%";
constexpr std::u16string_view kTempMacro = u"%TEMP%";
// A source longer than any path the system takes is handed back as it is (every use
// of it fails as too long), which also bounds the cost of resolving ".." components.
// Paths are never cut: a cut path names another folder.
constexpr size_t kWorkChars = os::kMaxSystemPathChars;

bool asciiEqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x -= 32;
    if (y >= u'a' && y <= u'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

std::u16string appDataOrFallback() {
  std::u16string folder = platform::appDataFolder();
  if (folder.empty()) folder = platform::windowsFolder();
  if (folder.empty()) folder = os::kDrivePaths ? u"C:\\" : u"/";
  return folder;
}

std::u16string expandMacro(std::u16string_view source) {
  if (source.empty() || source[0] != u'%') return std::u16string(source);
  const size_t close = source.find(u'%', 1);
  if (close == std::u16string_view::npos) return std::u16string(source);
  const std::u16string_view macro = source.substr(0, close + 1);
  const std::u16string_view rest = source.substr(close + 1);
  if (asciiEqualIgnoringCase(macro, kProgramMacro) ||
      asciiEqualIgnoringCase(macro, kOldProgramMacro)) {
    return platform::programFolder() + std::u16string(rest);
  }
  if (asciiEqualIgnoringCase(macro, kAppDataMacro)) {
    return appDataOrFallback() + std::u16string(rest);
  }
  if (asciiEqualIgnoringCase(macro, kTempMacro)) {
    // The folder contractPath took away: on POSIX the temporary folder, which a
    // variable named TEMP does not change (few systems set it, and then for others).
    const std::u16string temp = platform::tempFolder();
    if (!temp.empty()) {
      return temp + platform::expandEnvironmentText(rest).value_or(std::u16string(rest));
    }
  }
  return platform::expandEnvironmentText(source).value_or(std::u16string(source));
}

// Whether an environment variable's value may stand for a leading folder of stored
// paths: a drive path that is not a list (Windows), an absolute path that is not a
// list (POSIX).
bool isContractionValue(std::u16string_view value) {
  if (value.find(u';') != std::u16string_view::npos) return false;
  if constexpr (os::kDrivePaths) {
    if (value.size() <= 3 || value[1] != u':') return false;
    const char16_t c = value[0];
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
  } else {
    return value.size() > 1 && value[0] == u'/' && value.find(u':') == std::u16string_view::npos;
  }
}

// Variables that describe the process, not a place: contracting to them would make the
// stored path depend on where the program was started.
bool isProcessVariable(std::u16string_view name) {
  if (name.empty() || name[0] == u'=') return true;  // Windows' hidden drive folders
  if constexpr (!os::kDrivePaths) {
    if (name == u"PWD" || name == u"OLDPWD") return true;
  }
  return false;
}

// The macro form of an environment variable's name, cut at any '%' inside it.
std::u16string variableMacro(std::u16string_view name) {
  std::u16string macro(u"%");
  macro.append(name.substr(0, name.find(u'%')));
  macro.push_back(u'%');
  return macro;
}

// Replaces `path` by `macro` + the rest after `folder` when `folder` leads `path`.
bool tryContract(std::u16string& path, std::u16string_view macro, std::u16string_view folder) {
  if (!platform::pathStartsWith(path, folder)) return false;
  std::u16string result(macro);
  result.append(std::u16string_view(path).substr(folder.size()));
  path = std::move(result);
  return true;
}

}  // namespace

std::u16string expandPath(std::u16string_view source) {
  if (source.size() > kWorkChars) return std::u16string(source);
  std::u16string path = expandMacro(source);
  platform::normalizePath(path);
  return path;
}

std::u16string expandRelativePath(std::u16string_view source) {
  if (!source.starts_with(u"..")) return expandPath(source);
  std::u16string anchored(kProgramMacro);
  anchored.push_back(os::kSeparator);
  anchored.append(source);
  platform::matchSeparatorStyle(anchored);
  return expandPath(anchored);
}

std::u16string contractPath(std::u16string_view source) {
  std::u16string path(source);
  if (path.size() > kWorkChars || (!path.empty() && path[0] == u'%')) return path;
  // Normalised before contraction as well: a ".." right after the contracted folder
  // would otherwise climb out of the macro.
  platform::normalizePath(path);
  bool done = tryContract(path, kProgramMacro, platform::programFolder());
  if (!done) {
    const std::u16string appData = platform::appDataFolder();
    done = !appData.empty() && tryContract(path, kAppDataMacro, appData);
  }
  if (!done) {
    const std::u16string temp = platform::tempFolder();
    done = !temp.empty() && tryContract(path, kTempMacro, temp);
  }
  if (!done) {
    for (const auto& [name, value] : platform::environmentBlock()) {
      if (isProcessVariable(name) || !isContractionValue(value)) continue;
      if (tryContract(path, variableMacro(name), value)) break;
    }
  }
  platform::normalizePath(path);
  return path;
}

bool pathsEqual(std::u16string_view a, std::u16string_view b) {
  std::u16string left = expandRelativePath(a);
  std::u16string right = expandRelativePath(b);
  platform::toNativeSeparators(left);
  platform::toNativeSeparators(right);
  return platform::namesEqual(left, right);
}

std::u16string perUserDataFolder(std::u16string_view name) {
  std::u16string folder = expandPath(kAppDataMacro);
  platform::appendPathComponent(folder, u"Halberic");
  if (!name.empty()) platform::appendPathComponent(folder, name);
  platform::matchSeparatorStyle(folder);
  return folder;
}

}  // namespace crvl
