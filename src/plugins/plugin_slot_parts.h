// What the two halves of the plug-in slot share: the status calls around operations,
// the cached listing of a handle, and the operation entries defined in the other half.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/provider_table.h"
#include "plugins/file_system_plugin.h"
#include "plugins/plugin_calls.h"

namespace crvl::plugin_slot {

// FsStatusInfo start with `folder` and `operation` now, and the end when it goes.
class StatusScope {
 public:
  StatusScope(FileSystemPlugin& plugin, std::u16string folder, int32_t operation)
      : plugin_(plugin), folder_(std::move(folder)), operation_(operation) {
    plugin_calls::statusInfo(plugin_, folder_, wfx::kStatusStart, operation_);
  }
  ~StatusScope() { plugin_calls::statusInfo(plugin_, folder_, wfx::kStatusEnd, operation_); }
  StatusScope(const StatusScope&) = delete;
  StatusScope& operator=(const StatusScope&) = delete;

 private:
  FileSystemPlugin& plugin_;
  std::u16string folder_;
  int32_t operation_;
};

// The listing of the handle's current folder, kept from its last complete listing
// until the handle changes folder or changes anything through the slot.
struct CachedListing {
  struct Entry {
    EntryBlock block;
    std::u16string name;
  };
  const FileSystemPlugin* plugin = nullptr;  // whose listing it is
  std::u16string folder;                     // inside the plug-in
  std::vector<Entry> entries;
};

// Drops the handle's cached listing.
inline void forgetListing(ProviderHandle* handle) noexcept {
  if (handle != nullptr) handle->slotData.reset();
}

// The result of FsGetFile and FsPutFile as an error code.
[[nodiscard]] ErrorCode transferResult(int32_t result) noexcept;

// Entries of the other half (plugin_transfer.cpp).
ErrorCode getFile(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* source,
                  const char16_t* localTarget, const EntryBlock* block, uint32_t flags, ProgressCallback progress,
                  void* data);
ErrorCode putFile(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* localSource,
                  const char16_t* target, const EntryBlock* block, uint32_t flags, ProgressCallback progress,
                  void* data);
// Entries of this half that the transfers use for their retries.
ErrorCode makeFolder(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path);
ErrorCode deleteFile(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path, int32_t mode,
                     ProgressCallback progress, void* data);

}  // namespace crvl::plugin_slot
