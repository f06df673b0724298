// An exclusive lock on a file that the system releases when the process ends, however
// it ends (POSIX: flock; Windows: LockFileEx). Used to keep one job from running in two
// processes at once. A lock file is removed only while its lock is held (removeIfFree);
// on POSIX a lock taken on a file that its name no longer reaches is given up and taken
// again on the file the name reaches now, so that two holders never meet two files of
// one name.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

class FileLock {
 public:
  FileLock() noexcept = default;
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { unlock(); }

  // Takes the lock on `path` without waiting; the file (and its folder) is made when
  // missing, never through a link. Returns 0 when taken, 33 when another holder has it
  // (another process, or another FileLock of this process), or the error that kept the
  // file from opening. A lock already held by this object is given up first.
  [[nodiscard]] ErrorCode tryLock(std::u16string_view path);
  void unlock() noexcept;
  // POSIX: removes the lock file `path` when no one holds its lock (taken, removed,
  // given up). Returns whether it was removed. Windows: false, nothing is removed (an
  // open lock file cannot be deleted there).
  [[nodiscard]] static bool removeIfFree(std::u16string_view path);
  [[nodiscard]] bool locked() const noexcept { return handle_ != kNone; }

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;
};

}  // namespace crvl::platform
