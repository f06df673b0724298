// Whole-file and simple file-system operations on POSIX systems.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/posix/posix_errors.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

constexpr size_t kChunk = size_t{16} << 20;  // largest single read or write
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;

// The UTF-8 form of a path, or false for paths the system cannot name (an embedded
// NUL would silently cut the path short).
bool nativePath(std::u16string_view path, std::string& out) {
  if (path.find(u'\0') != path.npos) return false;
  out = toSystemBytes(path);
  return true;
}

std::string_view lastName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t cut = path.rfind('/');
  return cut == path.npos ? path : path.substr(cut + 1);
}

std::string parentOfNative(const std::string& path) {
  std::string_view p = path;
  while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
  const size_t cut = p.rfind('/');
  if (cut == p.npos) return ".";
  if (cut == 0) return "/";
  return std::string(p.substr(0, cut));
}

// errno after a failed open or create of `path`: a missing entry is "path not found"
// when the folder that should hold it is missing too.
ErrorCode openError(int err, const std::string& path) {
  if (err == ENOENT) {
    struct stat st {};
    const bool parentMissing = ::stat(parentOfNative(path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
    return mapErrno(err, parentMissing);
  }
  return mapErrno(err);
}

}  // namespace

bool File::isOpen() const noexcept { return handle_ >= 0; }

void File::close() noexcept {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

ErrorCode File::read(void* buffer, size_t size, size_t* done) noexcept {
  *done = 0;
  if (!isOpen()) return kErrorInvalidHandle;
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, std::min(size, kChunk));
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
    const ssize_t n = ::write(static_cast<int>(handle_), p, std::min(size, kChunk));
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

ErrorCode File::seekToEnd() noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  return ::lseek(static_cast<int>(handle_), 0, SEEK_END) < 0 ? mapErrno(errno) : kSuccess;
}

ErrorCode File::size(uint64_t* bytes) const noexcept {
  *bytes = 0;
  if (!isOpen()) return kErrorInvalidHandle;
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0) return mapErrno(errno);
  *bytes = static_cast<uint64_t>(st.st_size);
  return kSuccess;
}

ErrorCode openFile(std::u16string_view path, OpenMode mode, File* file) {
  file->close();
  std::string native;
  if (!nativePath(path, native)) return kErrorInvalidName;
  if (native.empty()) return kErrorPathNotFound;
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::CreateAlways: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::OpenOrCreate: flags |= O_WRONLY | O_CREAT; break;
    case OpenMode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
  }
  int fd;
  do {
    fd = ::open(native.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EEXIST && mode == OpenMode::CreateNew) return kErrorFileExists;
    return openError(errno, native);
  }
  File opened(fd);
  // A folder opens for reading on POSIX; on Windows it does not open as a file.
  struct stat st {};
  if (::fstat(fd, &st) != 0) return mapErrno(errno);
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
  *file = std::move(opened);
  return kSuccess;
}

ErrorCode deleteFile(std::u16string_view path) {
  std::string native;
  if (!nativePath(path, native)) return kErrorInvalidName;
  if (native.empty()) return kErrorPathNotFound;
  if (::unlink(native.c_str()) == 0) return kSuccess;
  return openError(errno, native);
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

ErrorCode copyFile(std::u16string_view source, std::u16string_view target) {
  File in;
  ErrorCode r = openFile(source, OpenMode::Read, &in);
  if (r != kSuccess) return r;
  const int src = static_cast<int>(in.native());
  struct stat st {};
  if (::fstat(src, &st) != 0) return mapErrno(errno);
  // Copying a file onto itself would truncate it first.
  std::string targetNative;
  struct stat existing {};
  if (nativePath(target, targetNative) && ::stat(targetNative.c_str(), &existing) == 0 &&
      existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
    return kErrorSharingViolation;
  }
  File out;
  r = openFile(target, OpenMode::CreateAlways, &out);
  if (r != kSuccess) return r;
  const int dst = static_cast<int>(out.native());
  bool fallback = false;
  for (;;) {
    const ssize_t n = ::copy_file_range(src, nullptr, dst, nullptr, kChunk, 0);
    if (n == 0) break;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
      fallback = true;
      break;
    }
    return mapErrno(errno);
  }
  if (fallback) {
    char buffer[64 * 1024];
    for (;;) {
      size_t done = 0;
      r = in.read(buffer, sizeof buffer, &done);
      if (r != kSuccess) return r;
      if (done == 0) break;
      r = out.write(buffer, done);
      if (r != kSuccess) return r;
    }
  }
  if (::fchmod(dst, st.st_mode & 07777) != 0) return mapErrno(errno);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(dst, times) != 0) return mapErrno(errno);
  return kSuccess;
}

uint32_t fileAttributes(std::u16string_view path) {
  std::string native;
  if (!nativePath(path, native) || native.empty()) return kInvalidAttributes;
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return kInvalidAttributes;
  uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrFolder : kAttrArchive;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  const std::string_view name = lastName(native);
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttrHidden;
  return attributes;
}

ErrorCode setFileAttributes(std::u16string_view path, uint32_t attributes) {
  std::string native;
  if (!nativePath(path, native)) return kErrorInvalidName;
  if (native.empty()) return kErrorPathNotFound;
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return openError(errno, native);
  mode_t mode = st.st_mode & 07777;
  // Read-only is the absence of write permission; the other attributes have no
  // counterpart here.
  if ((attributes & kAttrReadOnly) != 0) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return kSuccess;
  return ::chmod(native.c_str(), mode) == 0 ? kSuccess : mapErrno(errno);
}

bool pathExists(std::u16string_view path) {
  return fileAttributes(path) != kInvalidAttributes;
}

bool isFolder(std::u16string_view path) {
  const uint32_t attributes = fileAttributes(path);
  return attributes != kInvalidAttributes && (attributes & kAttrFolder) != 0;
}

uint64_t fileLastWriteTime(std::u16string_view path) {
  std::string native;
  if (!nativePath(path, native) || native.empty()) return 0;
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return 0;
  const int64_t ticks = static_cast<int64_t>(st.st_mtim.tv_sec) * 10'000'000 +
                        st.st_mtim.tv_nsec / 100 + kUnixEpochAsFileTime;
  return ticks > 0 ? static_cast<uint64_t>(ticks) : 0;
}

bool isValidFileName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  if (name.find_first_of(std::u16string_view(u"/\0", 2)) != name.npos) return false;
  return toSystemBytes(name).size() <= 255;
}

}  // namespace crvl::platform
