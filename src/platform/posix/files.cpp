// The file API on POSIX: descriptors, statx and the Windows attribute model (folder,
// read-only from the owner write bit, hidden for names beginning with '.', archive for
// files, reparse point for links).
#include "platform/files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/posix/entry_stat.h"
#include "platform/temporary_files.h"

namespace crvl::platform {

using posix::Descriptor;
using posix::mapPathErrno;
using posix::nativePath;
using posix::toTimespec;

namespace {

constexpr size_t kChunk = size_t{16} << 20;  // largest single read or write
// The kernel copies without our buffer, so a full-sized piece may be larger: fewer
// calls for large files, and progress and the stop word are still seen every few
// milliseconds.
constexpr size_t kKernelPiece = size_t{8} << 20;
constexpr size_t kFullBuffer = 262144;

int fdOf(intptr_t handle) noexcept { return static_cast<int>(handle); }

// Opens a regular file for reading without waiting (a FIFO would block until a writer
// came): devices and FIFOs are refused with 50 and never read. A regular file reads the
// same with O_NONBLOCK, so the flag stays. `*found` receives what fstat told.
ErrorCode openForReading(const std::string& p, intptr_t* handle, struct stat* found) {
  Descriptor fd(::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return mapPathErrno(errno, p);
  if (::fstat(fd.get(), found) != 0) return mapErrno(errno);
  if (S_ISDIR(found->st_mode)) return kErrorAccessDenied;
  if (!S_ISREG(found->st_mode)) return kErrorNotSupported;
  *handle = fd.release();
  return 0;
}

// The process's own user and group, which a new file gets. The program never changes
// its identity, so they are asked once.
struct ProcessIdentity {
  uid_t user;
  gid_t group;
};
const ProcessIdentity& processIdentity() noexcept {
  static const ProcessIdentity identity{::geteuid(), ::getegid()};
  return identity;
}

ErrorCode openTemporary(const std::string& p, intptr_t* handle) {
  Descriptor fd(::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) return errno == EEXIST ? kErrorFileExists : mapPathErrno(errno, p);
  // The lock tells a sweeping run that this temporary is being written. A file system
  // without locks still gets the file; the sweep then cannot tell, and the copy that
  // loses its temporary fails with its own report.
  (void)::flock(fd.get(), LOCK_EX | LOCK_NB);
  *handle = fd.release();
  return 0;
}

}  // namespace

bool File::isOpen() const noexcept { return handle_ >= 0; }

void File::close() noexcept {
  if (handle_ >= 0) ::close(fdOf(handle_));
  handle_ = -1;
}

ErrorCode File::read(void* buffer, size_t size, size_t* done) noexcept {
  *done = 0;
  if (!isOpen()) return kErrorInvalidHandle;
  for (;;) {
    const ssize_t n = ::read(fdOf(handle_), buffer, std::min(size, kChunk));
    if (n >= 0) {
      *done = static_cast<size_t>(n);
      return kSuccess;
    }
    if (errno != EINTR) return mapErrno(errno);
  }
}

ErrorCode File::write(const void* data, size_t size) noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fdOf(handle_), p, std::min(size, kChunk));
    if (n < 0) {
      if (errno == EINTR) continue;
      return mapErrno(errno);
    }
    if (n == 0) return kErrorWriteFault;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return kSuccess;
}

ErrorCode File::copyFrom(File& source, void* buffer, size_t size, size_t* done) noexcept {
  const size_t kernelSize = size >= kFullBuffer ? kKernelPiece : size;
  const ssize_t n = ::copy_file_range(fdOf(source.handle_), nullptr, fdOf(handle_), nullptr, kernelSize, 0);
  if (n >= 0) {
    *done = static_cast<size_t>(n);
    return 0;
  }
  const int err = errno;
  if (err != EXDEV && err != ENOSYS && err != EINVAL && err != EOPNOTSUPP && err != EBADF) return mapErrno(err);
  const ErrorCode r = source.read(buffer, size, done);
  if (r != 0 || *done == 0) return r;
  return write(buffer, *done);
}

ErrorCode File::cloneFrom(const File& source) noexcept {
  if (::ioctl(fdOf(handle_), FICLONE, fdOf(source.handle_)) == 0) return 0;
  const int err = errno;
  // File systems that cannot share extents, or not between these two files.
  if (err == EOPNOTSUPP || err == ENOTTY || err == EXDEV || err == EINVAL || err == ENOSYS || err == EBADF) {
    return kErrorNotSupported;
  }
  return mapErrno(err);
}

ErrorCode File::seekToEnd() noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  return ::lseek(fdOf(handle_), 0, SEEK_END) < 0 ? mapErrno(errno) : kSuccess;
}

ErrorCode File::seekStart() noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  return ::lseek(fdOf(handle_), 0, SEEK_SET) < 0 ? mapErrno(errno) : kSuccess;
}

ErrorCode File::truncate() noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  return ::ftruncate(fdOf(handle_), 0) == 0 ? kSuccess : mapErrno(errno);
}

ErrorCode File::size(uint64_t* bytes) const noexcept {
  *bytes = 0;
  if (!isOpen()) return kErrorInvalidHandle;
  struct stat st {};
  if (::fstat(fdOf(handle_), &st) != 0) return mapErrno(errno);
  *bytes = static_cast<uint64_t>(st.st_size);
  return kSuccess;
}

ErrorCode File::info(LocalEntryInfo* out) const noexcept {
  struct statx s;
  if (::statx(fdOf(handle_), "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &s) != 0) return mapErrno(errno);
  posix::fillInfo(s, {}, false, out);
  return 0;
}

ErrorCode File::setTimes(uint64_t, uint64_t lastAccess, uint64_t lastWrite) noexcept {
  const timespec times[2] = {toTimespec(lastAccess), toTimespec(lastWrite)};
  return ::futimens(fdOf(handle_), times) == 0 ? 0 : mapErrno(errno);
}

ErrorCode File::copyPermissions(const File& source) noexcept {
  struct stat st {};
  if (source.openedMode_ != 0) {
    st.st_mode = source.openedMode_;
    st.st_uid = source.openedOwner_;
    st.st_gid = source.openedGroup_;
  } else if (::fstat(fdOf(source.handle_), &st) != 0) {
    return mapErrno(errno);
  }
  // Root keeps the source's owner, as a copy by the owner would; a failure (a file
  // system without owners) leaves root's. A new file has the process's owner and group
  // already.
  const ProcessIdentity& self = processIdentity();
  if (self.user == 0 && (st.st_uid != self.user || st.st_gid != self.group)) {
    (void)::fchown(fdOf(handle_), st.st_uid, st.st_gid);
  }
  // Never more than the source grants: no set-user-ID, set-group-ID or sticky bit.
  return ::fchmod(fdOf(handle_), st.st_mode & 0777) == 0 ? 0 : mapErrno(errno);
}

ErrorCode File::commitTemporary(std::u16string_view temporary, std::u16string_view target, bool replace,
                                uint32_t) noexcept {
  // Moved while the lock is still held, so no sweep can take the file in between.
  ErrorCode r = kErrorNotEnoughMemory;
  try {
    r = moveIntoPlace(temporary, target, replace);
  } catch (...) {
  }
  close();
  return r;
}

ErrorCode File::commitUnnamed(std::u16string_view target) noexcept {
  std::string p;
  if (!nativePath(target, p) || p.empty()) {
    close();
    return kErrorInvalidName;
  }
  const int fd = fdOf(handle_);
  // linkat never replaces an entry (EEXIST) and never follows a link at the name. Root
  // links the descriptor itself; without the capability that takes, the link goes
  // through the descriptor's entry in /proc.
  int rc = -1;
  int err = ENOENT;
  if (processIdentity().user == 0) {
    rc = ::linkat(fd, "", AT_FDCWD, p.c_str(), AT_EMPTY_PATH);
    err = errno;
  }
  if (rc != 0 && err == ENOENT) {
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    rc = ::linkat(AT_FDCWD, proc, AT_FDCWD, p.c_str(), AT_SYMLINK_FOLLOW);
    err = errno;
  }
  close();
  if (rc == 0) return 0;
  return err == EEXIST ? ErrorCode{kErrorFileExists} : mapPathErrno(err, p);
}

ErrorCode openUnnamedFile(std::u16string_view target, File* file) {
  file->close();
  // Without root or /proc an unnamed file could never be given its name.
  static const bool linkable = processIdentity().user == 0 || ::access("/proc/self/fd", X_OK) == 0;
  if (!linkable) return kErrorNotSupported;
  std::string p;
  if (!nativePath(target, p)) return kErrorInvalidName;
  const size_t slash = p.rfind('/');
  if (slash == std::string::npos) {
    p = ".";
  } else {
    p.resize(slash == 0 ? 1 : slash);
  }
  int fd;
  do {
    fd = ::open(p.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int err = errno;
    // File systems without unnamed files, and systems without the flag (EISDIR).
    if (err == EOPNOTSUPP || err == EISDIR || err == EINVAL) return kErrorNotSupported;
    return err == ENOENT ? ErrorCode{kErrorPathNotFound} : mapErrno(err);
  }
  *file = File(fd);
  return 0;
}

ErrorCode openFile(std::u16string_view path, OpenMode mode, File* file) {
  file->close();
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  if (p.empty()) return kErrorPathNotFound;
  intptr_t handle = -1;
  if (mode == OpenMode::Read || mode == OpenMode::Temporary) {
    struct stat found {};
    const ErrorCode r = mode == OpenMode::Read ? openForReading(p, &handle, &found) : openTemporary(p, &handle);
    if (r != 0) return r;
    *file = File(handle);
    if (mode == OpenMode::Read) {
      file->noteOpened(found.st_mode, found.st_uid, found.st_gid, static_cast<uint64_t>(found.st_size));
    }
    return 0;
  }
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::CreateAlways: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::OpenOrCreate: flags |= O_WRONLY | O_CREAT; break;
    case OpenMode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    default: break;
  }
  int fd;
  do {
    fd = ::open(p.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EEXIST && mode == OpenMode::CreateNew) return kErrorFileExists;
    return mapPathErrno(errno, p);
  }
  File opened(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return mapErrno(errno);
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;  // a folder never opens as a file
  *file = std::move(opened);
  return kSuccess;
}

ErrorCode queryEntry(std::u16string_view path, LocalEntryInfo* info) {
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  if (p.empty()) return kErrorPathNotFound;
  const int err = posix::statEntry(AT_FDCWD, p.c_str(), posix::lastComponent(p), info);
  return err == 0 ? 0 : mapPathErrno(err, p);
}

uint32_t fileAttributes(std::u16string_view path) {
  LocalEntryInfo info;
  return queryEntry(path, &info) == 0 ? info.attributes : kInvalidAttributes;
}

ErrorCode setFileAttributes(std::u16string_view path, uint32_t attributes) {
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return mapPathErrno(errno, p);
  if (S_ISLNK(st.st_mode)) return 0;  // links carry no mode of their own
  mode_t mode = st.st_mode & 07777;
  if ((attributes & kAttrReadOnly) != 0 && !S_ISDIR(st.st_mode)) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return 0;
  return ::chmod(p.c_str(), mode) == 0 ? 0 : mapErrno(errno);
}

ErrorCode setFileTimes(std::u16string_view path, uint64_t, uint64_t lastAccess, uint64_t lastWrite) {
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  // Looked up first: with no time to set the system would not even check the path.
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return errno == ENOENT ? kErrorFileNotFound : mapPathErrno(errno, p);
  const timespec times[2] = {toTimespec(lastAccess), toTimespec(lastWrite)};
  if (::utimensat(AT_FDCWD, p.c_str(), times, 0) == 0) return 0;
  int err = errno;
  // A read-only entry gets the owner write bit for the change and its mode back after it.
  const mode_t found = st.st_mode & 07777;
  if ((err == EACCES || err == EPERM) && (found & S_IWUSR) == 0 && ::chmod(p.c_str(), found | S_IWUSR) == 0) {
    err = ::utimensat(AT_FDCWD, p.c_str(), times, 0) == 0 ? 0 : errno;
    (void)::chmod(p.c_str(), found);
    if (err == 0) return 0;
  }
  return err == ENOENT ? kErrorFileNotFound : mapPathErrno(err, p);
}

ErrorCode createFolder(std::u16string_view path) {
  if (path.empty()) return kErrorInvalidParameter;
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  if (::mkdir(p.c_str(), 0777) == 0) return 0;
  const int err = errno;
  return err == ENOENT ? kErrorPathNotFound : mapErrno(err);
}

ErrorCode createFolderChain(std::u16string_view path) {
  std::string native;
  if (!nativePath(path, native)) return kErrorInvalidName;
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return kErrorPathNotFound;
  // Create every component from the top; existing folders are passed over.
  size_t pos = native[0] == '/' ? 1 : 0;
  for (;;) {
    const size_t cut = native.find('/', pos);
    const std::string part = native.substr(0, cut);
    if (!part.empty() && part != "/" && ::mkdir(part.c_str(), 0777) != 0) {
      const int err = errno;
      struct stat st {};
      if (err != EEXIST || ::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return err == EEXIST ? kErrorAlreadyExists : mapErrno(err);
      }
    }
    if (cut == native.npos) return kSuccess;
    pos = cut + 1;
  }
}

ErrorCode removeFolder(std::u16string_view path) {
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) return kErrorInvalidParameter;
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return mapPathErrno(errno, p);
  if (S_ISLNK(st.st_mode)) return ::unlink(p.c_str()) == 0 ? 0 : mapErrno(errno);
  if (::rmdir(p.c_str()) == 0) return 0;
  int err = errno;
  if (err == EACCES || err == EPERM) {
    (void)::chmod(p.c_str(), (st.st_mode & 07777) | S_IWUSR);
    if (::rmdir(p.c_str()) == 0) return 0;
    err = errno;
  }
  if (err == ENOTEMPTY || err == EEXIST) return kErrorDirNotEmpty;
  if (err == ENOTDIR) return kErrorDirectory;
  return mapPathErrno(err, p);
}

ErrorCode deleteFile(std::u16string_view path) {
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  if (p.empty()) return kErrorPathNotFound;
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return mapPathErrno(errno, p);
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
  return ::unlink(p.c_str()) == 0 ? 0 : mapPathErrno(errno, p);
}

ErrorCode entryReach(std::u16string_view path, EntryReach* out) {
  *out = EntryReach::Itself;
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return mapPathErrno(errno, p);
  if (S_ISLNK(st.st_mode)) *out = EntryReach::Link;
  return 0;
}

ErrorCode moveEntry(std::u16string_view oldPath, std::u16string_view newPath) {
  std::string from, to;
  if (!nativePath(oldPath, from) || !nativePath(newPath, to)) return kErrorInvalidName;
  if (::rename(from.c_str(), to.c_str()) == 0) return 0;
  const int err = errno;
  if (err == ENOENT) {
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) return mapPathErrno(err, from);
    return kErrorPathNotFound;  // the target's folder is missing
  }
  return mapErrno(err);
}

ErrorCode freeDiskSpace(std::u16string_view path, uint64_t* bytes) {
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  struct statvfs vfs;
  if (::statvfs(p.c_str(), &vfs) != 0) return mapPathErrno(errno, p);
  *bytes = static_cast<uint64_t>(vfs.f_bfree) * vfs.f_frsize;
  return 0;
}

ErrorCode fileIdentity(std::u16string_view path, uint64_t* volume, uint64_t* fileId) {
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return mapPathErrno(errno, p);
  *volume = static_cast<uint64_t>(st.st_dev);
  *fileId = static_cast<uint64_t>(st.st_ino);
  return 0;
}

uint64_t fileLastWriteTime(std::u16string_view path) {
  LocalEntryInfo info;
  return queryEntry(path, &info) == 0 ? info.lastWriteTime : 0;
}

bool isValidFileName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  if (name.find_first_of(std::u16string_view(u"/\0", 2)) != name.npos) return false;
  return toSystemBytes(name).size() <= 255;
}

ReadOnlyMapping::~ReadOnlyMapping() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  if (file_ != -1) ::close(static_cast<int>(file_));
}

ErrorCode ReadOnlyMapping::map(std::u16string_view path) {
  std::string p;
  if (!nativePath(path, p)) return kErrorInvalidName;
  intptr_t handle = -1;
  struct stat st {};
  if (const ErrorCode r = openForReading(p, &handle, &st); r != 0) return r;
  Descriptor fd(static_cast<int>(handle));
  size_ = static_cast<uint64_t>(st.st_size);
  if (size_ == 0) {
    file_ = fd.release();
    return 0;
  }
  void* view = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (view == MAP_FAILED) {
    size_ = 0;
    return mapErrno(errno);
  }
  data_ = static_cast<const uint8_t*>(view);
  file_ = fd.release();
  return 0;
}

}  // namespace crvl::platform
