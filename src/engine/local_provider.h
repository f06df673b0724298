// The built-in slots: the local file system (slot 0) and the plug-in root (slot 1),
// and the local copy shared by the local provider's getFile, putFile and copy.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/provider_table.h"
#include "platform/local_fs.h"

namespace crvl {

// Fills a slot with the local provider's operations (kind 1, no name).
void fillLocalProvider(FileSystemProvider& slot);

// Fills a slot as the plug-in root (kind 2) named `name` ("\\\" when empty); the
// name must outlive the slot.
void fillPluginRoot(FileSystemProvider& slot, const char16_t* name);

// The two listings behind the local enumeration, replaceable to test how they combine
// (null members: the system's).
struct LocalListingIo {
  ErrorCode (*listFolder)(void* context, std::u16string_view folder, platform::LocalEntryVisitor visitor,
                          void* data);
  ErrorCode (*listShares)(void* context, std::u16string_view server, platform::LocalEntryVisitor visitor,
                          void* data);
  void* context;
};

// Whether `path` names a server alone: two separators and a name, a trailing separator
// allowed ("\\server").
[[nodiscard]] bool isServerPath(std::u16string_view path) noexcept;

// Lists a local folder. When the listing of a server path fails with 3 or 53, the
// server's shares are listed instead: the result is 0 when that succeeds and the
// folder listing's error otherwise.
[[nodiscard]] ErrorCode enumerateLocalPath(std::u16string_view folder, platform::LocalEntryVisitor visitor,
                                           void* data, const LocalListingIo* io = nullptr);

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

}  // namespace crvl
