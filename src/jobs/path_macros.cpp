// Path macros: expansion and contraction of stored paths, normalisation of "." and
// ".." components, and the path predicates of the settings and job code.
#include "jobs/path_macros.h"

#include "engine/path_forms.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/text.h"

namespace crvl {
namespace {

constexpr std::u16string_view kProgramMacro = u"%MY_PATH%";
constexpr std::u16string_view kOldProgramMacro = u"%VEVOVIZOR_PATH%";
constexpr std::u16string_view kAppDataMacro = u"%APPDATA%";
constexpr std::u16string_view kTempMacro = u"%TEMP%";
// Sources longer than a work buffer are cut before they are worked on, which also
// bounds the cost of resolving ".." components.
constexpr size_t kWorkChars = 2048;

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

// Separators and, where drive paths exist, the drive colon: the characters at which
// pathStartsWith lets a folder end.
bool isBoundary(char16_t c) { return isPathSeparator(c) || (os::kDrivePaths && c == u':'); }

// Stored paths are cut at the length limit, never in the middle of a surrogate pair.
void cutToLimit(std::u16string& path) {
  if (path.size() <= kMaxPathChars) return;
  path.resize(kMaxPathChars);
  if (path.back() >= 0xD800 && path.back() <= 0xDBFF) path.pop_back();
}

// Where '\' separates, a path written with '/' keeps '/' throughout.
void matchSeparatorStyle(std::u16string& path) {
  if constexpr (os::kBackslashSeparates) {
    if (path.find(u'/') == std::u16string::npos) return;
    for (char16_t& c : path) {
      if (c == u'\\') c = u'/';
    }
  }
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
  if (asciiEqualIgnoringCase(macro, kTempMacro) && !platform::environmentVariable(u"TEMP")) {
    // POSIX systems rarely set TEMP: the temporary folder stands in for it.
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
  if (!pathStartsWith(path, folder)) return false;
  std::u16string result(macro);
  result.append(std::u16string_view(path).substr(folder.size()));
  path = std::move(result);
  return true;
}

size_t rootLength(std::u16string_view path) {
  const std::u16string root = rootOf(path);
  if (root.empty()) return 0;
  // rootOf adds the separator to a bare "C:"; within the path the root is shorter.
  return root.size() > path.size() ? path.size() : root.size();
}

// Whether the path is a root on its own: a drive root, a share root (with or without
// its trailing separator), a server name alone, or "/" on POSIX.
bool isRootPath(std::u16string_view path) {
  if (path.empty()) return true;
  if constexpr (os::kDrivePaths) {
    if (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
      size_t separators = 0;
      for (size_t i = 2; i < path.size(); ++i) {
        if (isPathSeparator(path[i]) && i + 1 < path.size()) ++separators;
      }
      return separators <= 1;
    }
  }
  const size_t root = rootLength(path);
  return root != 0 && root >= path.size();
}

}  // namespace

bool isPathSeparator(char16_t c) noexcept {
  return c == os::kSeparator || (os::kBackslashSeparates && c == u'/');
}

std::u16string expandPath(std::u16string_view source) {
  std::u16string path = expandMacro(source.substr(0, kWorkChars));
  normalizePath(path);
  cutToLimit(path);
  return path;
}

std::u16string expandRelativePath(std::u16string_view source) {
  if (!source.starts_with(u"..")) return expandPath(source);
  std::u16string anchored(kProgramMacro);
  anchored.push_back(os::kSeparator);
  anchored.append(source);
  matchSeparatorStyle(anchored);
  return expandPath(anchored);
}

std::u16string contractPath(std::u16string_view source) {
  std::u16string path(source.substr(0, kWorkChars));
  if (!path.empty() && path[0] == u'%') {
    cutToLimit(path);
    return path;
  }
  // Normalised before contraction as well: a ".." right after the contracted folder
  // would otherwise climb out of the macro.
  normalizePath(path);
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
  normalizePath(path);
  cutToLimit(path);
  return path;
}

void normalizePath(std::u16string& path) {
  // "." components: a '.' that begins a component and is followed by a separator goes
  // with that separator. One pass, writing the kept characters in place.
  size_t kept = 0;
  size_t i = 0;
  while (i < path.size()) {
    const bool componentStart = kept == 0 || isPathSeparator(path[kept - 1]);
    if (path[i] == u'.' && componentStart) {
      if (i + 1 < path.size() && isPathSeparator(path[i + 1])) {
        i += 2;
        continue;
      }
      while (i < path.size() && path[i] == u'.') path[kept++] = path[i++];  // ".." stays
      continue;
    }
    path[kept++] = path[i++];
  }
  path.resize(kept);
  // ".." components, each resolved against the text before it, from the left.
  size_t from = 0;
  for (;;) {
    size_t at = path.find(u"..", from);
    if (at == std::u16string::npos) return;
    const bool starts = at == 0 || isPathSeparator(path[at - 1]);
    const bool ends = at + 2 == path.size() || isPathSeparator(path[at + 2]);
    if (!starts || !ends) {
      from = at + 1;
      continue;
    }
    if (at == 0) {
      path.erase(0, 2);
      from = 0;
      continue;
    }
    std::u16string parent = path.substr(0, at - 1);
    if (!parentOf(parent)) return;
    const bool followed = at + 2 < path.size();
    const std::u16string rest = followed ? path.substr(at + 3) : std::u16string();
    // A parent that is empty (a relative path of one component) takes no separator:
    // "a\..\b" is "b", not the rooted "\b".
    if (followed && !parent.empty() && !isPathSeparator(parent.back())) {
      parent.push_back(os::kSeparator);
    }
    parent.append(rest);
    matchSeparatorStyle(parent);
    path = std::move(parent);
    from = 0;
  }
}

bool pathStartsWith(std::u16string_view path, std::u16string_view folder) {
  if (folder.empty() || folder.size() > path.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    const char16_t a = platform::toUpper(path[i]);
    const char16_t b = platform::toUpper(folder[i]);
    if (a != b && !(isBoundary(a) && isBoundary(b))) return false;
  }
  return path.size() == folder.size() || isBoundary(path[folder.size()]) ||
         isBoundary(folder.back());
}

bool pathsEqual(std::u16string_view a, std::u16string_view b) {
  std::u16string left = expandRelativePath(a);
  std::u16string right = expandRelativePath(b);
  toNativeSeparators(left);
  toNativeSeparators(right);
  return platform::namesEqual(left, right);
}

bool namesEqual(std::u16string_view a, std::u16string_view b) {
  return platform::namesEqual(a, b);
}

std::u16string perUserDataFolder(std::u16string_view name) {
  std::u16string folder = expandPath(kAppDataMacro);
  appendPathComponent(folder, u"Halberic");
  if (!name.empty()) appendPathComponent(folder, name);
  matchSeparatorStyle(folder);
  cutToLimit(folder);
  return folder;
}

bool parentOf(std::u16string& path) {
  if (isRootPath(path)) return false;
  if (isPathSeparator(path.back())) {  // a trailing separator is the last component
    path.pop_back();
    return true;
  }
  size_t cut = path.size();
  while (cut > 0 && !isPathSeparator(path[cut - 1])) --cut;
  if (cut == 0) {  // a single relative component
    path.clear();
    return true;
  }
  // Keep the root's own separator ("C:\a" -> "C:\", "/a" -> "/").
  const size_t keep = cut - 1 < rootLength(path) ? rootLength(path) : cut - 1;
  path.resize(keep);
  return true;
}

}  // namespace crvl
