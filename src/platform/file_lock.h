// An exclusive lock on a file that the system releases when the process ends, however
// it ends (POSIX: flock; Windows: LockFileEx). Used to keep one job from running in two
// processes at once. The lock file itself is never removed: removing it would let a
// third process lock a new file of the same name while the first still holds the old.
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
  [[nodiscard]] bool locked() const noexcept { return handle_ != kNone; }

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;
};

}  // namespace crvl::platform
