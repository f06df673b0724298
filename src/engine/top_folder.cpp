#include "engine/top_folder.h"

#include <string>

#include "engine/entry_list.h"
#include "platform/paths.h"
#include "platform/volumes.h"

namespace crvl {

namespace {

bool isPathSeparator(char16_t c) noexcept { return c == u'/' || c == u'\\'; }

}  // namespace

TopFolder inspectTopFolder(FileSystemProvider* slot, ProviderHandle* handle, std::u16string_view path, bool local) {
  if (local && platform::liesOnUnmountedMountPoint(path)) return TopFolder::kNotMounted;
  if (callGetAttributes(slot, handle, path, nullptr) != 0xFFFFFFFFu) return TopFolder::kPresent;
  std::u16string parent(path);
  // "a/b/" names b: trailing separators are not a component of their own here.
  while (parent.size() > 1 && isPathSeparator(parent.back()) && platform::rootOf(parent) != parent) {
    parent.pop_back();
  }
  if (!platform::parentOf(parent) || parent.empty()) return TopFolder::kParentMissing;
  const uint32_t attributes = callGetAttributes(slot, handle, parent, nullptr);
  if (attributes == 0xFFFFFFFFu || (attributes & kFolderAttribute) == 0) return TopFolder::kParentMissing;
  return TopFolder::kMissing;
}

ErrorCode topFolderError(TopFolder state) noexcept {
  switch (state) {
    case TopFolder::kNotMounted: return kErrorNotReady;
    case TopFolder::kParentMissing: return kErrorPathNotFound;
    default: return 0;
  }
}

bool optionsAddTo(OptionFlags flags, bool left) noexcept {
  const OptionFlags addFiles = left ? kOptAddLeft : kOptAddRight;
  const OptionFlags update = left ? kOptUpdateLeft : kOptUpdateRight;
  return (flags & addFiles) != 0 || ((flags & kOptCopyNewFolders) != 0 && (flags & update) != 0);
}

}  // namespace crvl
