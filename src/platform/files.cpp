// The parts of the file API that are the same on both systems: ownership of a File,
// whole files read and replaced, copies through a temporary file, and the path tests.
#include "platform/files.h"

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/temporary_files.h"

namespace crvl::platform {
namespace {

// Fresh names to try when a temporary name is taken (48 random bits each: a second
// collision in a row means something else is wrong).
constexpr int kNameAttempts = 8;
// A reader that holds the target open without delete sharing (Windows) blocks the
// rename; settings readers hold it for milliseconds.
constexpr int kMoveAttempts = 40;
constexpr uint32_t kMoveRetryWaitMs = 25;

// The temporary file of one replacement; removed again unless it was moved into place.
class PendingTemporary {
 public:
  PendingTemporary() = default;
  PendingTemporary(const PendingTemporary&) = delete;
  PendingTemporary& operator=(const PendingTemporary&) = delete;
  ~PendingTemporary() { discard(); }

  // Creates a new temporary file beside `target`; with `makeFolder`, a missing folder
  // is made once (stored files may be the first in their folder; copies never make one).
  [[nodiscard]] ErrorCode create(std::u16string_view target, bool makeFolder) {
    bool folderMade = false;
    ErrorCode r = kErrorFileExists;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      std::u16string candidate = temporaryPathFor(target);
      r = openFile(candidate, OpenMode::Temporary, &file_);
      if (r == kSuccess) {
        path_ = std::move(candidate);
        return kSuccess;
      }
      if (r == kErrorFileExists || r == kErrorAlreadyExists) continue;  // someone else's name
      const std::u16string_view folder = folderOf(target);
      if ((r != kErrorPathNotFound && r != kErrorFileNotFound) || !makeFolder || folderMade || folder.empty()) {
        return r;
      }
      folderMade = true;
      (void)createFolderChain(folder);  // the retry reports what is still wrong
    }
    return r;
  }

  [[nodiscard]] File& file() noexcept { return file_; }
  [[nodiscard]] const std::u16string& path() const noexcept { return path_; }

  // Moves the file onto `target` (replacing it), retrying while a reader holds the
  // target open; `attributes` as File::commitTemporary takes them.
  [[nodiscard]] ErrorCode commit(std::u16string_view target, uint32_t attributes) {
    ErrorCode r = file_.commitTemporary(path_, target, /*replace=*/true, attributes);
    for (int attempt = 1; (r == kErrorAccessDenied || r == kErrorSharingViolation) && attempt < kMoveAttempts;
         ++attempt) {
      sleepMilliseconds(kMoveRetryWaitMs);
      r = moveIntoPlace(path_, target, /*replace=*/true);
    }
    if (r == kSuccess) path_.clear();  // the file now has the target's name
    return r;
  }

 private:
  void discard() noexcept {
    file_.close();
    if (!path_.empty()) (void)deleteFile(path_);
    path_.clear();
  }

  File file_;
  std::u16string path_;
};

}  // namespace

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    noteOpened(other.openedMode_, other.openedOwner_, other.openedGroup_, other.openedSize_);
    other.handle_ = -1;
    other.noteOpened(0, 0, 0, 0);
  }
  return *this;
}

File::~File() { close(); }

ErrorCode readWholeFile(std::u16string_view path, std::string& out) {
  out.clear();
  File file;
  ErrorCode r = openFile(path, OpenMode::Read, &file);
  if (r != kSuccess) return r;
  uint64_t expected = 0;
  if (file.size(&expected) == kSuccess && expected < (uint64_t{1} << 31)) {
    out.reserve(static_cast<size_t>(expected));
  }
  // Read to the end rather than trusting the size: the file may grow meanwhile.
  char buffer[64 * 1024];
  for (;;) {
    size_t done = 0;
    r = file.read(buffer, sizeof buffer, &done);
    if (r != kSuccess) {
      out.clear();
      return r;
    }
    if (done == 0) return kSuccess;
    out.append(buffer, done);
  }
}

ErrorCode writeWholeFile(std::u16string_view path, std::string_view bytes) {
  const uint32_t old = fileAttributes(path);
  const bool exists = old != kInvalidAttributes;
  if (exists && (old & kAttrFolder) != 0) return kErrorAccessDenied;

  PendingTemporary temporary;
  ErrorCode r = temporary.create(path, /*makeFolder=*/true);
  if (r != kSuccess) return r;
  r = temporary.file().write(bytes.data(), bytes.size());
  if (r != kSuccess) return r;
  if (exists) {
    // The new file takes the old one's permission bits (POSIX). A file that cannot be
    // opened to look at keeps the temporary's owner-only rights; the contents matter more.
    File previous;
    if (openFile(path, OpenMode::Read, &previous) == kSuccess) (void)temporary.file().copyPermissions(previous);
  }
  // A changed file is marked for backup, as any written file is on Windows.
  const uint32_t attributes = (exists ? old & (kAttrHidden | kAttrSystem) : 0) | kAttrArchive;
  r = temporary.commit(path, attributes);
  if (r != kSuccess) return r;
  if (exists && (old & kAttrReadOnly) != 0) {
    // The copied permission bits brought read-only along (POSIX); the new file is writable.
    (void)setFileAttributes(path, (old & ~(kAttrReadOnly | kAttrFolder)) | kAttrArchive);
  }
  return kSuccess;
}

ErrorCode copyFile(std::u16string_view source, std::u16string_view target) {
  File in;
  ErrorCode r = openFile(source, OpenMode::Read, &in);
  if (r != kSuccess) return r;
  // Copying a file onto itself would replace it by a copy of nothing.
  uint64_t sourceVolume = 0, sourceId = 0, targetVolume = 0, targetId = 0;
  if (fileIdentity(source, &sourceVolume, &sourceId) == 0 && fileIdentity(target, &targetVolume, &targetId) == 0 &&
      sourceVolume == targetVolume && sourceId == targetId) {
    return kErrorSharingViolation;
  }
  LocalEntryInfo info;
  r = in.info(&info);
  if (r != kSuccess) return r;
  const uint32_t attributes = fileAttributes(source);
  PendingTemporary temporary;
  r = temporary.create(target, /*makeFolder=*/false);
  if (r != kSuccess) return r;
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    size_t done = 0;
    r = temporary.file().copyFrom(in, buffer.data(), buffer.size(), &done);
    if (r != kSuccess) return r;
    if (done == 0) break;
  }
  r = temporary.file().setTimes(info.creationTime, info.lastAccessTime, info.lastWriteTime);
  if (r == kSuccess) r = temporary.file().copyPermissions(in);
  if (r != kSuccess) return r;
  return temporary.commit(target, attributes == kInvalidAttributes ? kAttrArchive : attributes & ~kAttrFolder);
}

bool pathExists(std::u16string_view path) { return fileAttributes(path) != kInvalidAttributes; }

bool isFolder(std::u16string_view path) {
  const uint32_t attributes = fileAttributes(path);
  return attributes != kInvalidAttributes && (attributes & kAttrFolder) != 0;
}

}  // namespace crvl::platform
