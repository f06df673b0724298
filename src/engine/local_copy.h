// The local copy shared by the local provider's getFile, putFile and copy, and by its
// rename across volumes. The target is never written in place.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/provider_table.h"

namespace crvl {

// The stream copy's free-space query and a check before every write, replaceable to
// inject faults (null members: the system's answers).
struct StreamCopyIo {
  // Total free bytes of the volume of `path`.
  ErrorCode (*freeSpace)(void* context, std::u16string_view path, uint64_t* bytes);
  // Called before each piece of up to `size` bytes is written at `offset` of the target;
  // a non-zero answer fails the copy with that code. Null: no check.
  ErrorCode (*beforeWrite)(void* context, uint64_t offset, size_t size);
  void* context;
};

// The stream copy: checks free space (drive paths and POSIX absolute paths), writes a
// temporary file beside the target in pieces reporting kind 3 progress, gives it the
// source's times and permissions, and moves it onto the target (`replace`: an existing
// file or link is replaced as an entry; otherwise an existing entry fails the copy with
// 80 and stays). The target is never written in place: on any failure or stop it is as
// it was, and the temporary file is deleted. 112, 1235 and 80 are final; other
// failures try the system copy (through a temporary file too) last. `block` may be null.
ErrorCode streamCopy(std::u16string_view source, std::u16string_view target,
                     const EntryBlock* block, ProgressCallback progress, void* data,
                     const StreamCopyIo* io = nullptr, bool replace = true);

// The local copy: the system copy with progress where there is one, else the stream
// copy, both through a temporary file moved into place (see streamCopy for `replace`);
// a missing target folder is made with its parents and the copy tried once more.
ErrorCode localCopy(std::u16string_view source, std::u16string_view target,
                    const EntryBlock* block, ProgressCallback progress, void* data, bool replace);

// Forces the stream copy even where the system copy exists (tests).
void setSystemCopyEnabled(bool enabled) noexcept;

// Makes the folder above `path` with every missing folder above it, through the local
// file system. 3 when `path` has no parent; 183 when a file stands in the way.
[[nodiscard]] ErrorCode makeParentOf(std::u16string_view path);

}  // namespace crvl
