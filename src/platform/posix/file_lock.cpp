#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/entry_stat.h"
#include "platform/posix/posix_errors.h"

namespace crvl::platform {

ErrorCode FileLock::tryLock(std::u16string_view path) {
  unlock();
  std::string p;
  if (!posix::nativePath(path, p)) return kErrorInvalidName;
  const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
  // A lock file removed (removeIfFree) between this open and the lock is no longer the
  // one its name reaches: the lock is then taken again on the file the name reaches now.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(p.c_str(), flags, 0600);
    if (fd < 0 && errno == ENOENT && !folderOf(path).empty()) {
      (void)createFolderChain(folderOf(path));
      fd = ::open(p.c_str(), flags, 0600);
    }
    if (fd < 0) return errno == ELOOP ? kErrorAccessDenied : mapErrno(errno);
    // flock locks belong to the open file: a second open of the same file in this
    // process conflicts like another process would.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return err == EWOULDBLOCK ? kErrorLockViolation : mapErrno(err);
    }
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::lstat(p.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      handle_ = fd;
      return kSuccess;
    }
    ::close(fd);
  }
  return kErrorLockViolation;
}

bool FileLock::removeIfFree(std::u16string_view path) {
  FileLock lock;
  if (lock.tryLock(path) != kSuccess) return false;
  std::string p;
  // Removed while the lock is held: whoever opened it meanwhile finds it gone once it
  // has the lock, and takes the lock on a new file.
  const bool removed = posix::nativePath(path, p) && ::unlink(p.c_str()) == 0;
  lock.unlock();
  return removed;
}

void FileLock::unlock() noexcept {
  if (handle_ == kNone) return;
  ::close(static_cast<int>(handle_));  // closing the only descriptor releases the lock
  handle_ = kNone;
}

}  // namespace crvl::platform
