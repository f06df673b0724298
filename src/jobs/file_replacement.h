// Replacing a whole text file (settings, job files, the log index) so that no reader
// ever sees a part of it: the new contents are written to a temporary file beside the
// target (see platform/temporary_files.h) and that file is renamed over the target.
#pragma once

#include <string_view>

#include "platform/errors.h"

namespace crvl {

// Makes `bytes` the contents of the file `target`. Returns 0 on success; on failure the
// old file (if any) is exactly as it was and no temporary file is left behind.
//
// - The old file's hidden and system attributes (Windows) and its permission bits, and
//   for root its owner and group (POSIX), go to the new file; a read-only old file is
//   replaced and the new one is not read-only. A new file gets the temporary file's
//   rights: owner read and write only (POSIX), normal attributes (Windows).
// - A missing folder above the target is created (once, with its parents) and the
//   write retried. A folder at `target` is never replaced (5).
// - A rename refused because a reader holds the target open (Windows) is retried for
//   about a second.
// - Two processes replacing the same file at once: the file ends up as one of the two,
//   whole.
// - A symbolic link at `target` is replaced as an entry: it becomes a regular file and
//   the file it pointed to is left as it was.
[[nodiscard]] ErrorCode replaceWholeFile(std::u16string_view target, std::string_view bytes);

}  // namespace crvl
