// What a killed program leaves beside a stored file: the temporary file of a write that
// never reached its rename.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace crvl {

// A temporary file younger than this may belong to a write that is still going on.
inline constexpr uint64_t kStaleTemporaryAgeSeconds = 600;

// Removes, from the folder of the stored file `path`, the temporary files of the
// program's own form (".~crvl…tmp") last written more than kStaleTemporaryAgeSeconds
// ago, and only while no process holds the file's lock between processes (the lock is
// taken for the clean-up without waiting; a lock that cannot be made removes nothing).
// Other files are never touched. Returns the number removed.
size_t removeStaleTemporaries(std::u16string_view path);

}  // namespace crvl
