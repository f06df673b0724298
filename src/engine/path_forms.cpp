// Long path forms and path roots. On POSIX there are no long forms, and the only root
// is "/".
#include "engine/path_forms.h"

#include "os_traits.h"
#include "platform/text.h"

namespace crvl {
namespace {

constexpr std::u16string_view kLongPrefix = u"\\\\?\\";
constexpr std::u16string_view kLongUncPrefix = u"\\\\?\\UNC";

bool isSeparator(char16_t c) {
  return c == os::kSeparator || (os::kBackslashSeparates && c == u'/');
}

bool isDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// In the long form the system reads only '\' as a separator.
std::u16string withBackslashes(std::u16string_view path) {
  std::u16string out(path);
  for (char16_t& c : out) {
    if (c == u'/') c = u'\\';
  }
  return out;
}

}  // namespace

std::u16string toLongPath(std::u16string_view path) {
  if constexpr (!os::kDrivePaths) {
    return std::u16string(path);
  } else {
    if (path.size() < kLongPathThreshold || path.starts_with(kLongPrefix)) {
      return std::u16string(path);
    }
    // Only an absolute drive path can take the prefix: "C:name" is relative to the
    // drive's current folder, which the long form cannot express.
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == u':' && isSeparator(path[2])) {
      std::u16string out(kLongPrefix);
      out += withBackslashes(path);
      return out;
    }
    if (isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2])) {
      std::u16string out(kLongUncPrefix);
      out += withBackslashes(path.substr(1));
      return out;
    }
    return std::u16string(path);
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
      if (isSeparator(path[2])) return path.substr(0, 3);
      return {};  // "C:name": relative to the drive's current folder
    }
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
      size_t server = 2;
      while (server < path.size() && !isSeparator(path[server])) ++server;
      if (server >= path.size()) return path.substr(0, 2);  // a server name alone
      size_t share = server + 1;
      while (share < path.size() && !isSeparator(path[share])) ++share;
      return path.substr(0, share);
    }
  }
  if (isSeparator(path[0])) return path.substr(0, 1);
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
  if (folder.empty() || !isSeparator(folder.back())) folder.push_back(os::kSeparator);
  folder.append(name);
}

namespace {

std::u16string_view withoutTrailingSeparators(std::u16string_view path) noexcept {
  while (path.size() > 1 && isSeparator(path.back())) path.remove_suffix(1);
  return path;
}

}  // namespace

bool sameFolderPath(std::u16string_view a, std::u16string_view b) {
  return platform::sameFileName(withoutTrailingSeparators(a), withoutTrailingSeparators(b));
}

bool pathLiesWithin(std::u16string_view inner, std::u16string_view outer) {
  inner = withoutTrailingSeparators(inner);
  outer = withoutTrailingSeparators(outer);
  if (outer.empty() || inner.size() < outer.size()) return false;
  if (!platform::sameFileName(inner.substr(0, outer.size()), outer)) return false;
  // "/data2" does not lie within "/data"; everything lies within a root such as "/".
  return inner.size() == outer.size() || isSeparator(inner[outer.size()]) ||
         isSeparator(outer.back());
}

}  // namespace crvl
