// The shell's file work on POSIX: there is no recycle bin, the shell's rename is
// rename(), and there is no system copy routine with progress.
#include "platform/shell_files.h"

#include <unistd.h>

#include "platform/files.h"

namespace crvl::platform {

ErrorCode recycleFile(std::u16string_view) { return kErrorNotSupported; }

ErrorCode shellRename(std::u16string_view oldPath, std::u16string_view newPath) {
  return moveEntry(oldPath, newPath);
}

void leaveCurrentFolder() { (void)::chdir("/"); }

uint32_t setProcessErrorMode(uint32_t) noexcept { return 0; }

bool systemCopyAvailable() noexcept { return false; }

ErrorCode systemCopyFile(std::u16string_view, std::u16string_view, CopyChunkCallback, void*) {
  return kErrorNotSupported;
}

}  // namespace crvl::platform
