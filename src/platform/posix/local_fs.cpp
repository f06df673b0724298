// The local primitives on POSIX: descriptor-relative listings with statx, and the
// Windows attribute model (folder, read-only from the owner write bit, hidden for
// names beginning with '.', archive for files).
#include "platform/local_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "platform/posix/posix_errors.h"
#include "platform/temporary_files.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

constexpr uint64_t kEpochDifference = 11644473600ull;  // seconds from 1601 to 1970

uint64_t toFileTime(int64_t seconds, uint32_t nanoseconds) noexcept {
  if (seconds < -static_cast<int64_t>(kEpochDifference)) return 0;
  return (static_cast<uint64_t>(seconds + static_cast<int64_t>(kEpochDifference)) * 10'000'000ull) +
         nanoseconds / 100;
}

timespec toTimespec(uint64_t fileTime) noexcept {
  timespec ts{};
  if (fileTime == 0) {
    ts.tv_nsec = UTIME_OMIT;
    return ts;
  }
  const uint64_t seconds = fileTime / 10'000'000ull;
  ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(seconds) - static_cast<int64_t>(kEpochDifference));
  ts.tv_nsec = static_cast<long>((fileTime % 10'000'000ull) * 100);
  return ts;
}

std::string native(std::u16string_view path) { return toSystemBytes(path); }

// The last component of a path (for the hidden bit).
std::string_view lastComponent(std::string_view path) noexcept {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// ENOENT is 3 when the folder above the entry is missing, else 2.
ErrorCode mapPathErrno(int err, const std::string& path) {
  if (err != ENOENT) return mapErrno(err);
  std::string parent(path);
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  const size_t slash = parent.rfind('/');
  if (slash == std::string::npos) return mapErrno(err, false);
  parent.resize(slash == 0 ? 1 : slash);
  struct stat st;
  const bool parentMissing = ::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
  return mapErrno(err, parentMissing);
}

bool isSpecialMode(uint32_t mode) noexcept { return !S_ISREG(mode) && !S_ISDIR(mode) && !S_ISLNK(mode); }

void fillInfo(const struct statx& s, std::string_view name, bool link, LocalEntryInfo* info) {
  const bool folder = S_ISDIR(s.stx_mode);
  uint32_t attributes = folder ? 0x10u : 0x20u;
  if ((s.stx_mode & S_IWUSR) == 0) attributes |= 0x1;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= 0x2;
  if (link) attributes |= 0x400;
  info->attributes = attributes;
  info->size = folder ? 0 : s.stx_size;
  info->lastWriteTime = toFileTime(s.stx_mtime.tv_sec, s.stx_mtime.tv_nsec);
  info->lastAccessTime = toFileTime(s.stx_atime.tv_sec, s.stx_atime.tv_nsec);
  info->creationTime = (s.stx_mask & STATX_BTIME) != 0 ? toFileTime(s.stx_btime.tv_sec, s.stx_btime.tv_nsec)
                                                        : info->lastWriteTime;
  info->special = isSpecialMode(s.stx_mode);
}

// Entry information relative to a folder descriptor; a link reports its target (its
// own data when dangling or unreachable) with the reparse-point bit. Returns errno.
int statEntry(int dirFd, const char* name, std::string_view shownName, LocalEntryInfo* info) {
  struct statx s;
  // Only what the entry block needs: type and mode, size and the three times.
  constexpr unsigned kMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
  if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &s) != 0) return errno;
  if (S_ISLNK(s.stx_mode)) {
    struct statx target;
    if (::statx(dirFd, name, AT_NO_AUTOMOUNT, kMask, &target) == 0) {
      fillInfo(target, shownName, true, info);
    } else {
      fillInfo(s, shownName, true, info);
      info->special = false;  // a dangling link is an entry of its own
    }
    return 0;
  }
  fillInfo(s, shownName, false, info);
  return 0;
}

// Bytes of directory records fetched per listing call.
constexpr size_t kListingBufferSize = 65536;

// A listed name as wide text; plain ASCII names (the usual case) are widened in place
// without building a temporary string.
void storeName(const char* raw, std::u16string& out) {
  const size_t length = std::strlen(raw);
  bool ascii = true;
  for (size_t i = 0; i < length; ++i) ascii &= static_cast<unsigned char>(raw[i]) < 0x80;
  if (!ascii) {
    out = fromSystemBytes(std::string_view(raw, length));
    return;
  }
  out.resize(length);
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<char16_t>(raw[i]);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const noexcept { return fd_; }
  int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace

ErrorCode enumerateLocalFolder(std::u16string_view folder, LocalEntryVisitor visitor, void* data) {
  const std::string path = native(folder);
  Descriptor fd(::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int err = errno;
    if (err == ENOENT) return kErrorPathNotFound;
    if (err == ENOTDIR) {
      // The path names a file, or a file stands where a folder above it should be.
      struct stat st;
      return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) ? kErrorDirectory : kErrorPathNotFound;
    }
    return mapErrno(err);
  }
  // The listing is read straight from the descriptor the entries are looked up
  // against (no second descriptor and directory stream per folder).
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kListingBufferSize]);
  if (!buffer) return kErrorNotEnoughMemory;
  std::u16string name;  // reused for every entry
  for (;;) {
    const ssize_t filled = ::getdents64(fd.get(), buffer.get(), kListingBufferSize);
    if (filled < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      if (err == ENOENT) return 0;  // the folder was removed while listed: its end
      return mapErrno(err);
    }
    if (filled == 0) return 0;
    for (ssize_t at = 0; at < filled;) {
      dirent64 entry;  // the header is copied out: records need not be aligned
      std::memcpy(&entry, buffer.get() + at, offsetof(dirent64, d_name));
      const char* raw = buffer.get() + at + offsetof(dirent64, d_name);
      at += entry.d_reclen;
      if (entry.d_reclen == 0) return kErrorInvalidData;
      if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) continue;
      LocalEntryInfo info;
      if (const int err = statEntry(fd.get(), raw, raw, &info); err != 0) {
        if (err == ENOENT) continue;  // removed between the listing and its examination
        // Any other failure (no search permission, an I/O error) leaves this listing
        // incomplete, and an incomplete listing must never pass for the folder's content.
        return mapErrno(err);
      }
      storeName(raw, name);
      if (visitor(data, name, info, nullptr) != 0) return 0;
    }
  }
}

ErrorCode enumerateServerShares(std::u16string_view, LocalEntryVisitor, void*) { return kErrorNotSupported; }

ErrorCode queryLocalEntry(std::u16string_view path, LocalEntryInfo* info) {
  const std::string p = native(path);
  if (p.empty()) return kErrorPathNotFound;
  const int err = statEntry(AT_FDCWD, p.c_str(), lastComponent(p), info);
  return err == 0 ? 0 : mapPathErrno(err, p);
}

uint32_t localAttributes(std::u16string_view path) {
  LocalEntryInfo info;
  return queryLocalEntry(path, &info) == 0 ? info.attributes : 0xFFFFFFFFu;
}

ErrorCode setLocalAttributes(std::u16string_view path, uint32_t attributes) {
  const std::string p = native(path);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return mapPathErrno(errno, p);
  if (S_ISLNK(st.st_mode)) return 0;  // links carry no mode of their own
  mode_t mode = st.st_mode & 07777;
  if ((attributes & 0x1) != 0 && !S_ISDIR(st.st_mode)) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return 0;
  return ::chmod(p.c_str(), mode) == 0 ? 0 : mapErrno(errno);
}

ErrorCode setLocalTimes(std::u16string_view path, uint64_t, uint64_t lastAccess, uint64_t lastWrite) {
  const std::string p = native(path);
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

ErrorCode createLocalFolder(std::u16string_view path) {
  if (path.empty()) return kErrorInvalidParameter;
  const std::string p = native(path);
  if (::mkdir(p.c_str(), 0777) == 0) return 0;
  const int err = errno;
  return err == ENOENT ? kErrorPathNotFound : mapErrno(err);
}

ErrorCode removeLocalFolder(std::u16string_view path) {
  std::string p = native(path);
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

ErrorCode deleteLocalFile(std::u16string_view path) {
  const std::string p = native(path);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return mapPathErrno(errno, p);
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
  return ::unlink(p.c_str()) == 0 ? 0 : mapPathErrno(errno, p);
}

ErrorCode moveLocalEntry(std::u16string_view oldPath, std::u16string_view newPath) {
  const std::string from = native(oldPath);
  const std::string to = native(newPath);
  if (::rename(from.c_str(), to.c_str()) == 0) return 0;
  const int err = errno;
  if (err == ENOENT) {
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) return mapPathErrno(err, from);
    return kErrorPathNotFound;  // the target's folder is missing
  }
  return mapErrno(err);
}

ErrorCode recycleLocalFile(std::u16string_view) { return kErrorNotSupported; }

ErrorCode shellRenameLocal(std::u16string_view oldPath, std::u16string_view newPath) {
  return moveLocalEntry(oldPath, newPath);
}

void leaveCurrentFolder() { (void)::chdir("/"); }

uint32_t setProcessErrorMode(uint32_t) noexcept { return 0; }

bool systemCopyAvailable() noexcept { return false; }

ErrorCode systemCopyFile(std::u16string_view, std::u16string_view, CopyChunkCallback, void*) {
  return kErrorNotSupported;
}

ErrorCode freeDiskSpace(std::u16string_view path, uint64_t* bytes) {
  const std::string p = native(path);
  struct statvfs vfs;
  if (::statvfs(p.c_str(), &vfs) != 0) return mapPathErrno(errno, p);
  *bytes = static_cast<uint64_t>(vfs.f_bfree) * vfs.f_frsize;
  return 0;
}

ErrorCode fileIdentity(std::u16string_view path, uint64_t* volume, uint64_t* fileId) {
  const std::string p = native(path);
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return mapPathErrno(errno, p);
  *volume = static_cast<uint64_t>(st.st_dev);
  *fileId = static_cast<uint64_t>(st.st_ino);
  return 0;
}

void LocalStream::close() noexcept {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

namespace {
ErrorCode openWith(std::u16string_view path, int flags, intptr_t* handle) {
  const std::string p = native(path);
  const int fd = ::open(p.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) return mapPathErrno(errno, p);
  struct stat st;
  if ((flags & O_ACCMODE) == O_RDONLY && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kErrorAccessDenied;
  }
  *handle = fd;
  return 0;
}
}  // namespace

ErrorCode LocalStream::openRead(std::u16string_view path) {
  close();
  // Opened without waiting (a FIFO would block until a writer came), then refused
  // unless it is a regular file: devices and FIFOs are never read.
  const std::string p = native(path);
  Descriptor fd(::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return mapPathErrno(errno, p);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return mapErrno(errno);
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
  if (!S_ISREG(st.st_mode)) return kErrorNotSupported;
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return mapErrno(errno);
  handle_ = fd.release();
  return 0;
}

ErrorCode LocalStream::createTemporary(std::u16string_view path) {
  close();
  const std::string p = native(path);
  Descriptor fd(::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) return errno == EEXIST ? kErrorFileExists : mapPathErrno(errno, p);
  // The lock tells a sweeping run that this temporary is being written. A file system
  // without locks still gets the file; the sweep then cannot tell, and the copy that
  // loses its temporary fails with its own report.
  (void)::flock(fd.get(), LOCK_EX | LOCK_NB);
  handle_ = fd.release();
  return 0;
}

ErrorCode LocalStream::commitTemporary(std::u16string_view temporary, std::u16string_view target, bool replace,
                                       uint32_t) {
  // Moved while the lock is still held, so no sweep can take the file in between.
  const ErrorCode r = moveIntoPlace(temporary, target, replace);
  close();
  return r;
}

ErrorCode LocalStream::openReadWrite(std::u16string_view path) {
  close();
  return openWith(path, O_RDWR, &handle_);
}

ErrorCode LocalStream::info(LocalEntryInfo* out) const {
  struct statx s;
  if (::statx(static_cast<int>(handle_), "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &s) != 0) {
    return mapErrno(errno);
  }
  fillInfo(s, {}, false, out);
  return 0;
}

ErrorCode LocalStream::read(void* buffer, size_t size, size_t* done) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, size);
    if (n >= 0) {
      *done = static_cast<size_t>(n);
      return 0;
    }
    if (errno != EINTR) return mapErrno(errno);
  }
}

ErrorCode LocalStream::write(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle_), p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return mapErrno(errno);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

ErrorCode LocalStream::copyFrom(LocalStream& source, void* buffer, size_t size, size_t* done) {
  // The kernel copies without our buffer, so a full-sized piece may be larger: fewer
  // calls for large files, and progress and the stop word are still seen every few
  // milliseconds.
  constexpr size_t kKernelPiece = size_t{8} << 20;
  const size_t kernelSize = size >= 262144 ? kKernelPiece : size;
  const ssize_t n = ::copy_file_range(static_cast<int>(source.handle_), nullptr, static_cast<int>(handle_),
                                      nullptr, kernelSize, 0);
  if (n >= 0) {
    *done = static_cast<size_t>(n);
    return 0;
  }
  const int err = errno;
  if (err != EXDEV && err != ENOSYS && err != EINVAL && err != EOPNOTSUPP && err != EBADF) {
    return mapErrno(err);
  }
  ErrorCode r = source.read(buffer, size, done);
  if (r != 0 || *done == 0) return r;
  return write(buffer, *done);
}

ErrorCode LocalStream::setTimes(uint64_t, uint64_t lastAccess, uint64_t lastWrite) {
  const timespec times[2] = {toTimespec(lastAccess), toTimespec(lastWrite)};
  return ::futimens(static_cast<int>(handle_), times) == 0 ? 0 : mapErrno(errno);
}

ErrorCode LocalStream::copyPermissions(const LocalStream& source) {
  struct stat st;
  if (::fstat(static_cast<int>(source.handle_), &st) != 0) return mapErrno(errno);
  // Root keeps the source's owner, as a copy by the owner would; a failure (a file
  // system without owners) leaves root's.
  if (::geteuid() == 0) (void)::fchown(static_cast<int>(handle_), st.st_uid, st.st_gid);
  // Never more than the source grants: no set-user-ID, set-group-ID or sticky bit.
  return ::fchmod(static_cast<int>(handle_), st.st_mode & 0777) == 0 ? 0 : mapErrno(errno);
}

ErrorCode LocalStream::truncate() {
  return ::ftruncate(static_cast<int>(handle_), 0) == 0 ? 0 : mapErrno(errno);
}

ErrorCode LocalStream::seekStart() {
  return ::lseek(static_cast<int>(handle_), 0, SEEK_SET) == 0 ? 0 : mapErrno(errno);
}

ReadOnlyMapping::~ReadOnlyMapping() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  if (file_ != -1) ::close(static_cast<int>(file_));
}

ErrorCode ReadOnlyMapping::map(std::u16string_view path) {
  const std::string p = native(path);
  Descriptor fd(::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return mapPathErrno(errno, p);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return mapErrno(errno);
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
  if (!S_ISREG(st.st_mode)) return kErrorNotSupported;  // never map a device or wait on a FIFO
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
