// What a killed program leaves beside a stored file: the temporary file of a write that
// never reached its rename.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace crvl {

// A temporary file younger than this may belong to a write that is still going on.
inline constexpr uint64_t kStaleTemporaryAgeSeconds = 600;

// Removes, from the folder of the stored file `path` and from each of `otherFolders`
// (the job folder and the log folder of those settings: job files and the log index),
// the temporary files of the program's own form (".~crvl…tmp") last written more than
// kStaleTemporaryAgeSeconds ago, and only while no process holds the lock between
// processes of `path` (taken for the clean-up without waiting; a lock that cannot be
// made removes nothing). Other files and sub-folders are never touched. Returns the
// number removed.
size_t removeStaleTemporaries(std::u16string_view path, std::initializer_list<std::u16string_view> otherFolders = {});

}  // namespace crvl
