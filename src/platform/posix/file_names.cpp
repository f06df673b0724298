#include "platform/file_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/posix/posix_errors.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const noexcept { closedir(dir); }
};

}  // namespace

ErrorCode listFileNames(std::u16string_view folder, std::vector<std::u16string>& names) {
  names.clear();
  const std::string path = toSystemBytes(folder);
  std::unique_ptr<DIR, DirCloser> dir(opendir(path.empty() ? "." : path.c_str()));
  if (!dir) return mapErrno(errno);
  const int fd = dirfd(dir.get());
  while (const dirent* entry = readdir(dir.get())) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (fstatat(fd, entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)) continue;
    names.push_back(fromSystemBytes(name));
  }
  return kSuccess;
}

}  // namespace crvl::platform
