// Moving temporary files into place on POSIX: rename for a replacement, renameat2 with
// RENAME_NOREPLACE (or a hard link where the file system lacks it) for a new entry, and
// the lock test that tells an abandoned temporary from one still being written.
#include "platform/temporary_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/entry_stat.h"
#include "platform/posix/posix_errors.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

std::string_view lastName(std::string_view path) noexcept {
  const size_t cut = path.rfind('/');
  return cut == path.npos ? path : path.substr(cut + 1);
}

// A new entry without replacing anything: a hard link fails when the name is taken.
ErrorCode linkIntoPlace(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) {
    (void)::unlink(from.c_str());
    return kSuccess;
  }
  const int err = errno;
  if (err == EEXIST) return kErrorFileExists;
  if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS && err != EXDEV) return mapErrno(err);
  // No hard links here either (FAT, some network file systems): look, then rename. The
  // window between the two is the file system's limit, not ours.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return kErrorFileExists;
  return ::rename(from.c_str(), to.c_str()) == 0 ? kSuccess : mapErrno(errno);
}

}  // namespace

ErrorCode moveIntoPlace(std::u16string_view temporary, std::u16string_view target, bool replace) {
  std::string from, to;
  if (!posix::nativePath(temporary, from) || !posix::nativePath(target, to)) return kErrorInvalidName;
  if (from.empty() || to.empty()) return kErrorPathNotFound;
  if (replace) {
    // rename() replaces a file or a link as an entry; a folder in the way stays.
    if (::rename(from.c_str(), to.c_str()) == 0) return kSuccess;
    const int err = errno;
    if (err == EISDIR || err == ENOTEMPTY || err == EEXIST) return kErrorAccessDenied;
    return mapErrno(err);
  }
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return kSuccess;
  const int err = errno;
  if (err == EEXIST) return kErrorFileExists;
  if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP) return linkIntoPlace(from, to);
  return mapErrno(err);
}

ErrorCode removeAbandonedTemporary(std::u16string_view path) {
  std::string p;
  if (!posix::nativePath(path, p)) return kErrorInvalidName;
  if (!isTemporaryName(fromSystemBytes(lastName(p)))) return kErrorAccessDenied;
  const int fd = ::open(p.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? kErrorAccessDenied : mapErrno(errno);
  ErrorCode result = kSuccess;
  struct stat opened {};
  struct stat named {};
  if (::fstat(fd, &opened) != 0) {
    result = mapErrno(errno);
  } else if (!S_ISREG(opened.st_mode)) {
    result = kErrorAccessDenied;
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Its writer still holds the lock: the copy is running.
    result = errno == EWOULDBLOCK ? kErrorSharingViolation : mapErrno(errno);
  } else if (::lstat(p.c_str(), &named) != 0 || named.st_ino != opened.st_ino || named.st_dev != opened.st_dev) {
    result = kErrorFileNotFound;  // moved into place meanwhile
  } else if (::unlink(p.c_str()) != 0) {
    result = mapErrno(errno);
  }
  ::close(fd);
  return result;
}

}  // namespace crvl::platform
