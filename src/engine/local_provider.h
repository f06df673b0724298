// The local file system as provider slot 0.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/provider_table.h"
#include "platform/files.h"
#include "platform/listings.h"

namespace crvl {

// Fills a slot with the local provider's operations (kind 1, no name).
void fillLocalProvider(FileSystemProvider& slot);

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
// folder listing's error otherwise. `listed`, when given, receives the listed folder's
// identity as platform::enumerateLocalFolder tells it (unknown for shares and for a
// replaced listing).
[[nodiscard]] ErrorCode enumerateLocalPath(std::u16string_view folder, platform::LocalEntryVisitor visitor,
                                           void* data, const LocalListingIo* io = nullptr,
                                           platform::FolderIdentity* listed = nullptr);

}  // namespace crvl
