// What the POSIX file and listing code share: path bytes, FILETIME conversion, the
// Windows attribute model read from statx, errno mapping for paths, and a descriptor
// owner. Internal to src/platform/posix.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/posix/posix_errors.h"
#include "platform/text.h"

namespace crvl::platform::posix {

inline constexpr uint64_t kEpochDifference = 11644473600ull;  // seconds from 1601 to 1970

[[nodiscard]] inline uint64_t toFileTime(int64_t seconds, uint32_t nanoseconds) noexcept {
  if (seconds < -static_cast<int64_t>(kEpochDifference)) return 0;
  return (static_cast<uint64_t>(seconds + static_cast<int64_t>(kEpochDifference)) * 10'000'000ull) +
         nanoseconds / 100;
}

// A FILETIME as a timespec for utimensat/futimens; 0 leaves the time as it is.
[[nodiscard]] inline timespec toTimespec(uint64_t fileTime) noexcept {
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

// The bytes of a path for the system, or false for paths it cannot name (an embedded
// NUL would silently cut the path short).
[[nodiscard]] inline bool nativePath(std::u16string_view path, std::string& out) {
  if (path.find(u'\0') != path.npos) return false;
  out = toSystemBytes(path);
  return true;
}

// The last component of a path (for the hidden bit).
[[nodiscard]] inline std::string_view lastComponent(std::string_view path) noexcept {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// errno after a failed operation on `path`: ENOENT is 3 when the folder above the entry
// is missing too, else 2.
[[nodiscard]] inline ErrorCode mapPathErrno(int err, const std::string& path) {
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

[[nodiscard]] inline bool isSpecialMode(uint32_t mode) noexcept {
  return !S_ISREG(mode) && !S_ISDIR(mode) && !S_ISLNK(mode);
}

inline void fillInfo(const struct statx& s, std::string_view name, bool link, LocalEntryInfo* info) {
  const bool folder = S_ISDIR(s.stx_mode);
  uint32_t attributes = folder ? kAttrFolder : kAttrArchive;
  if ((s.stx_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kAttrHidden;
  if (link) attributes |= kAttrReparsePoint;
  info->attributes = attributes;
  info->size = folder ? 0 : s.stx_size;
  info->lastWriteTime = toFileTime(s.stx_mtime.tv_sec, s.stx_mtime.tv_nsec);
  info->lastAccessTime = toFileTime(s.stx_atime.tv_sec, s.stx_atime.tv_nsec);
  info->creationTime = (s.stx_mask & STATX_BTIME) != 0 ? toFileTime(s.stx_btime.tv_sec, s.stx_btime.tv_nsec)
                                                        : info->lastWriteTime;
  info->special = isSpecialMode(s.stx_mode);
}

// Entry information relative to a folder descriptor (AT_FDCWD for a whole path); a link
// reports its target (its own data when dangling or unreachable) with the
// reparse-point bit. Returns errno, 0 on success.
[[nodiscard]] inline int statEntry(int dirFd, const char* name, std::string_view shownName, LocalEntryInfo* info) {
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

// Owns a descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int get() const noexcept { return fd_; }
  [[nodiscard]] int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace crvl::platform::posix
