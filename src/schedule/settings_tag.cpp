#include "schedule/settings_tag.h"

#include <cstdint>
#include <cstdio>

#include "jobs/program_settings.h"
#include "os_traits.h"
#include "platform/canonical_path.h"
#include "platform/text.h"

namespace crvl {
namespace {

// The canonical path, case-folded where file names ignore case.
std::u16string identityOf(std::u16string_view path) {
  const std::u16string canonical = platform::canonicalFilePath(path);
  if constexpr (!os::kWindows) return canonical;
  std::u16string key;
  platform::appendFoldKey(canonical, key);
  return key;
}

}  // namespace

std::u16string settingsTag(std::u16string_view settingsPath) {
  const std::u16string identity = identityOf(settingsPath);
  for (const std::u16string& own : {perUserSettingsPath(), programFolderSettingsPath()}) {
    if (!own.empty() && identityOf(own) == identity) return {};
  }
  uint32_t hash = 2166136261u;  // FNV-1a over the code units
  for (const char16_t c : identity) {
    hash = (hash ^ (c & 0xFFu)) * 16777619u;
    hash = (hash ^ (c >> 8)) * 16777619u;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
  return platform::fromUtf8(text);
}

}  // namespace crvl
