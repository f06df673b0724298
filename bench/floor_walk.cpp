// The metadata floor of a no-change run: every folder of the given trees listed with
// getdents64 and every entry examined with one statx relative to its folder, on one
// thread, nothing else. A synchroniser that compares two trees cannot do less.
//
//   crvl_floor_walk DIR...     prints "folders entries" of all trees together
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Counts {
  uint64_t folders = 0;
  uint64_t entries = 0;
};

constexpr size_t kBufferSize = 65536;
constexpr unsigned kMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;

// Lists the folder open on `fd` (closed here), then walks the folders below it.
bool walk(int fd, Counts& counts) {
  ++counts.folders;
  static char buffer[kBufferSize];
  std::string folders;  // the sub-folders' names, each ended by a NUL
  for (;;) {
    const ssize_t filled = ::getdents64(fd, buffer, kBufferSize);
    if (filled < 0) {
      ::close(fd);
      return false;
    }
    if (filled == 0) break;
    for (ssize_t at = 0; at < filled;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      struct statx s;
      if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &s) != 0) continue;
      ++counts.entries;
      if (S_ISDIR(s.stx_mode)) folders.append(name, std::strlen(name) + 1);
    }
  }
  bool ok = true;
  for (size_t at = 0; at < folders.size(); at = folders.find('\0', at) + 1) {
    const int child = ::openat(fd, folders.c_str() + at, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ok = child >= 0 && walk(child, counts) && ok;
  }
  ::close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  Counts counts;
  for (int i = 1; i < argc; ++i) {
    const int fd = ::open(argv[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || !walk(fd, counts)) {
      std::fprintf(stderr, "cannot walk %s\n", argv[i]);
      return 1;
    }
  }
  std::printf("%llu %llu\n", static_cast<unsigned long long>(counts.folders),
              static_cast<unsigned long long>(counts.entries));
  return 0;
}
