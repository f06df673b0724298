#include "jobs/stored_file_leftovers.h"

#include <cstdint>
#include <string>

#include "jobs/profile_store.h"
#include "platform/clock.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/listings.h"
#include "platform/paths.h"
#include "platform/temporary_files.h"

namespace crvl {
namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;

struct Sweep {
  std::u16string folder;
  uint64_t before = 0;  // last write before this time: stale
  size_t removed = 0;
};

int32_t visitEntry(void* data, std::u16string_view name, const platform::LocalEntryInfo& info, const char16_t*) {
  auto& sweep = *static_cast<Sweep*>(data);
  if ((info.attributes & (platform::kAttrFolder | platform::kAttrReparsePoint)) != 0 || info.special || !platform::isTemporaryName(name) ||
      info.lastWriteTime >= sweep.before) {
    return 0;
  }
  std::u16string path = sweep.folder;
  platform::appendPathComponent(path, name);
  if (platform::deleteFile(path) == kSuccess) ++sweep.removed;
  return 0;
}

}  // namespace

size_t removeStaleTemporaries(std::u16string_view path, std::initializer_list<std::u16string_view> otherFolders) {
  const std::u16string folder(platform::folderOf(path));
  if (folder.empty() || !platform::pathExists(path)) return 0;
  platform::FileLock held;
  if (lockStoredFile(path, held, /*waitMs=*/0) != kSuccess) return 0;
  Sweep sweep{folder, platform::currentFileTime() - kStaleTemporaryAgeSeconds * kTicksPerSecond, 0};
  (void)platform::enumerateLocalFolder(folder, &visitEntry, &sweep);
  for (std::u16string_view other : otherFolders) {
    if (other.empty()) continue;  // a folder met twice is only listed twice
    sweep.folder.assign(other);
    (void)platform::enumerateLocalFolder(sweep.folder, &visitEntry, &sweep);
  }
  return sweep.removed;
}

}  // namespace crvl
