// Path helpers shared by every layer. On POSIX there are no long forms, and the only
// root is "/".
#include "platform/paths.h"

#include "os_traits.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

constexpr std::u16string_view kLongPrefix = u"\\\\?\\";
constexpr std::u16string_view kLongUncPrefix = u"\\\\?\\UNC";


bool isDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// In the long form the system reads only '\' as a separator.
std::u16string withBackslashes(std::u16string_view path) {
  std::u16string out(path);
  for (char16_t& c : out) {
    if (c == u'/') c = u'\\';
  }
  return out;
}

// Whether the system's parsing of the short form would change a component: a trailing
// dot or space is dropped, a device name reaches the device. "." and ".." are resolved
// before the long form is built.
bool holdsAlteredComponent(std::u16string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !isAnySeparator(path[end])) ++end;
    const std::u16string_view part = path.substr(start, end - start);
    if (!part.empty() && part != u"." && part != u".." &&
        (part.back() == u'.' || part.back() == u' ' || isReservedDeviceName(part))) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool holdsRelativeComponent(std::u16string_view path) {
  for (std::u16string_view part : {u"\\.\\", u"\\..\\", u"/./", u"/../"}) {
    if (path.find(part) != std::u16string_view::npos) return true;
  }
  return path.ends_with(u"\\.") || path.ends_with(u"\\..") || path.ends_with(u"/.") || path.ends_with(u"/..");
}

}  // namespace

bool isReservedDeviceName(std::u16string_view name) {
  // The device is reached with any extension and trailing spaces: "nul.txt", "COM1 ".
  std::u16string_view base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  std::u16string upper;
  for (char16_t c : base) upper.push_back(toUpper(c));
  for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL"}) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) && upper[3] >= u'1' &&
         upper[3] <= u'9';
}

std::u16string toLongPath(std::u16string_view original) {
  if constexpr (!os::kDrivePaths) {
    return std::u16string(original);
  } else {
    if (original.starts_with(kLongPrefix)) return std::u16string(original);
    // A name the short form would alter is reached only through the long form, at any
    // length; the long form resolves no "." or "..", so they are resolved first.
    const bool altered = holdsAlteredComponent(original);
    if (original.size() < kLongPathThreshold && !altered) return std::u16string(original);
    std::u16string resolved(original);
    if (holdsRelativeComponent(resolved)) normalizePath(resolved);
    const std::u16string_view path = resolved;
    if (path.size() < 3) return std::u16string(original);
    // Only an absolute drive path can take the prefix: "C:name" is relative to the
    // drive's current folder, which the long form cannot express.
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == u':' && isPathSeparator(path[2])) {
      std::u16string out(kLongPrefix);
      out += withBackslashes(path);
      return out;
    }
    if (isPathSeparator(path[0]) && isPathSeparator(path[1]) && !isPathSeparator(path[2])) {
      std::u16string out(kLongUncPrefix);
      out += withBackslashes(path.substr(1));
      return out;
    }
    return std::u16string(original);
  }
}

std::u16string fromLongPath(std::u16string_view path) {
  if constexpr (!os::kDrivePaths) {
    return std::u16string(path);
  } else {
    if (path.starts_with(kLongUncPrefix)) {
      std::u16string out(u"\\");
      out += path.substr(kLongUncPrefix.size());
      return out;
    }
    if (path.starts_with(kLongPrefix)) return std::u16string(path.substr(kLongPrefix.size()));
    return std::u16string(path);
  }
}

std::u16string rootOf(std::u16string_view original) {
  const std::u16string path = fromLongPath(original);
  if (path.empty()) return {};
  if constexpr (os::kDrivePaths) {
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == u':') {
      if (path.size() == 2) return path + u'\\';
      if (isPathSeparator(path[2])) return path.substr(0, 3);
      return {};  // "C:name": relative to the drive's current folder
    }
    if (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
      size_t server = 2;
      while (server < path.size() && !isPathSeparator(path[server])) ++server;
      if (server >= path.size()) return path.substr(0, 2);  // a server name alone
      size_t share = server + 1;
      while (share < path.size() && !isPathSeparator(path[share])) ++share;
      return path.substr(0, share);
    }
  }
  if (isPathSeparator(path[0])) return path.substr(0, 1);
  return {};
}

void toNativeSeparators(std::u16string& path) {
  if constexpr (os::kBackslashSeparates) {
    for (char16_t& c : path) {
      if (c == u'/') c = os::kSeparator;
    }
  }
}

void appendPathComponent(std::u16string& folder, std::u16string_view name) {
  if (folder.empty() || !isPathSeparator(folder.back())) folder.push_back(os::kSeparator);
  folder.append(name);
}

namespace {

std::u16string_view withoutTrailingSeparators(std::u16string_view path) noexcept {
  while (path.size() > 1 && isPathSeparator(path.back())) path.remove_suffix(1);
  return path;
}

}  // namespace

bool sameFolderPath(std::u16string_view a, std::u16string_view b) {
  return sameFileName(withoutTrailingSeparators(a), withoutTrailingSeparators(b));
}

bool pathLiesWithin(std::u16string_view inner, std::u16string_view outer) {
  inner = withoutTrailingSeparators(inner);
  outer = withoutTrailingSeparators(outer);
  if (outer.empty() || inner.size() < outer.size()) return false;
  if (!sameFileName(inner.substr(0, outer.size()), outer)) return false;
  // "/data2" does not lie within "/data"; everything lies within a root such as "/".
  return inner.size() == outer.size() || isPathSeparator(inner[outer.size()]) ||
         isPathSeparator(outer.back());
}

namespace {

// Separators and, where drive paths exist, the drive colon: the characters at which
// pathStartsWith lets a folder end.
bool isBoundary(char16_t c) { return isPathSeparator(c) || (os::kDrivePaths && c == u':'); }

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

void matchSeparatorStyle(std::u16string& path) {
  if constexpr (os::kBackslashSeparates) {
    if (path.find(u'/') == std::u16string::npos) return;
    for (char16_t& c : path) {
      if (c == u'\\') c = u'/';
    }
  }
}

bool isPathSeparator(char16_t c) noexcept {
  return c == os::kSeparator || (os::kBackslashSeparates && c == u'/');
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
    // POSIX names are case sensitive: "/srV" is another folder than "/srv".
    const char16_t a = os::kWindows ? toUpper(path[i]) : path[i];
    const char16_t b = os::kWindows ? toUpper(folder[i]) : folder[i];
    if (a != b && !(isBoundary(a) && isBoundary(b))) return false;
  }
  return path.size() == folder.size() || isBoundary(path[folder.size()]) ||
         isBoundary(folder.back());
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

std::u16string_view fileNameOf(std::u16string_view path) noexcept {
  size_t start = path.size();
  while (start > 0 && !isPathSeparator(path[start - 1])) --start;
  return path.substr(start);
}

std::u16string_view folderOf(std::u16string_view path) noexcept {
  std::u16string_view folder = path.substr(0, path.size() - fileNameOf(path).size());
  if (folder.size() > 1 && !(os::kDrivePaths && folder.size() == 3 && folder[1] == u':')) folder.remove_suffix(1);
  return folder;
}

void joinPath(std::u16string_view folder, std::u16string_view name, std::u16string& out) {
  out.assign(folder);
  if (!out.empty() && !isPathSeparator(out.back())) out.push_back(os::kSeparator);
  out.append(name);
}

}  // namespace crvl::platform
