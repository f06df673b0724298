// Whole-file replacement through a temporary file and a rename.
#include "jobs/file_replacement.h"

#include <string>

#include "os_traits.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/local_fs.h"
#include "platform/temporary_files.h"

namespace crvl {
namespace {

// Fresh names to try when a temporary name is taken (48 random bits each: a second
// collision in a row means something else is wrong).
constexpr int kNameAttempts = 8;
// A reader that holds the target open without delete sharing (Windows) blocks the
// rename; settings readers hold it for milliseconds.
constexpr int kMoveAttempts = 40;
constexpr uint32_t kMoveRetryWaitMs = 25;

bool isSeparator(char16_t c) noexcept { return c == os::kSeparator || (os::kBackslashSeparates && c == u'/'); }

// The folder part of `path` without its trailing separator ("" for a bare name, the
// root itself for a file in the root).
std::u16string_view folderOf(std::u16string_view path) {
  size_t cut = path.size();
  while (cut > 0 && !isSeparator(path[cut - 1])) --cut;
  if (cut == 0) return {};
  std::u16string_view folder = path.substr(0, cut);
  if (folder.size() > 1) folder.remove_suffix(1);
  return folder;
}

// The temporary file of one replacement; removed again unless it was moved into place.
class PendingTemporary {
 public:
  PendingTemporary() = default;
  PendingTemporary(const PendingTemporary&) = delete;
  PendingTemporary& operator=(const PendingTemporary&) = delete;
  ~PendingTemporary() { discard(); }

  // Creates a new temporary file beside `target`.
  [[nodiscard]] ErrorCode create(std::u16string_view target) {
    bool folderMade = false;
    ErrorCode r = kErrorFileExists;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      std::u16string candidate = platform::temporaryPathFor(target);
      r = stream_.createTemporary(candidate);
      if (r == kSuccess) {
        path_ = std::move(candidate);
        return kSuccess;
      }
      if (r == kErrorFileExists || r == kErrorAlreadyExists) continue;  // someone else's name
      const std::u16string_view folder = folderOf(target);
      if ((r != kErrorPathNotFound && r != kErrorFileNotFound) || folderMade || folder.empty()) return r;
      folderMade = true;
      (void)platform::createFolderChain(folder);  // the retry reports what is still wrong
    }
    return r;
  }

  [[nodiscard]] platform::LocalStream& stream() noexcept { return stream_; }
  [[nodiscard]] const std::u16string& path() const noexcept { return path_; }
  // The file now has the target's name: nothing is left to remove.
  void release() noexcept { path_.clear(); }

 private:
  void discard() noexcept {
    stream_.close();
    if (!path_.empty()) (void)platform::deleteFile(path_);
    path_.clear();
  }

  platform::LocalStream stream_;
  std::u16string path_;
};

bool isBusy(ErrorCode r) noexcept { return r == kErrorAccessDenied || r == kErrorSharingViolation; }

}  // namespace

ErrorCode replaceWholeFile(std::u16string_view target, std::string_view bytes) {
  const uint32_t old = platform::fileAttributes(target);
  const bool exists = old != platform::kInvalidAttributes;
  if (exists && (old & platform::kAttrFolder) != 0) return kErrorAccessDenied;

  PendingTemporary temporary;
  ErrorCode r = temporary.create(target);
  if (r != kSuccess) return r;
  r = temporary.stream().write(bytes.data(), bytes.size());
  if (r != kSuccess) return r;
  if (exists) {
    // The new file takes the old one's permission bits (POSIX). A file that cannot be
    // opened to look at keeps the temporary's owner-only rights; the contents matter more.
    platform::LocalStream previous;
    if (previous.openRead(target) == kSuccess) (void)temporary.stream().copyPermissions(previous);
  }
  // A changed file is marked for backup, as any written file is on Windows.
  const uint32_t attributes =
      (exists ? old & (platform::kAttrHidden | platform::kAttrSystem) : 0) | platform::kAttrArchive;
  r = temporary.stream().commitTemporary(temporary.path(), target, /*replace=*/true, attributes);
  for (int attempt = 1; isBusy(r) && attempt < kMoveAttempts; ++attempt) {
    platform::sleepMilliseconds(kMoveRetryWaitMs);
    r = platform::moveIntoPlace(temporary.path(), target, /*replace=*/true);
  }
  if (r != kSuccess) return r;
  temporary.release();
  if (exists && (old & platform::kAttrReadOnly) != 0) {
    // The copied permission bits brought read-only along (POSIX); the new file is writable.
    (void)platform::setFileAttributes(target, (old & ~(platform::kAttrReadOnly | platform::kAttrFolder)) |
                                                  platform::kAttrArchive);
  }
  return kSuccess;
}

}  // namespace crvl
