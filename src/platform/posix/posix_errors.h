// The one place where POSIX errno values become Windows error codes.
#pragma once

#include "platform/errors.h"

namespace crvl::platform {

// The Windows error code for an errno value. ENOENT gives 2 (file not found), or 3
// (path not found) when the caller knows a folder above the entry is missing
// (`missingParent`). 0 gives 0; values without a closer counterpart give 31
// (a device attached to the system is not functioning).
// The errno and code of the last failure mapped on the calling thread are kept (see
// lastMappedErrno).
[[nodiscard]] ErrorCode mapErrno(int err, bool missingParent = false) noexcept;

// The errno that mapErrno last turned into `code` on this thread, or 0 when its last
// failure gave another code.
[[nodiscard]] int lastMappedErrno(ErrorCode code) noexcept;

// The code of an errno, as mapErrno gives it, without keeping anything.
[[nodiscard]] ErrorCode codeOfErrno(int err, bool missingParent = false) noexcept;

}  // namespace crvl::platform
