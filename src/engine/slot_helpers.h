// Small pieces shared by the built-in provider slots.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <string_view>

#include "engine/provider_table.h"

namespace crvl::slot_helpers {

// Copies `text` into a caller's buffer of `capacity` characters, cut to fit.
inline void copyOut(std::u16string_view text, char16_t* out, uint32_t capacity) noexcept {
  if (out == nullptr || capacity == 0) return;
  const size_t n = std::min<size_t>(text.size(), capacity - 1);
  std::copy_n(text.data(), n, out);
  out[n] = 0;
}

// A new handle on `path` (cut to kHandlePathChars), or null when memory runs out.
inline ProviderHandle* newHandle(void* owner, int32_t slotIndex, std::u16string_view path) noexcept {
  auto* handle = new (std::nothrow) ProviderHandle;
  if (handle == nullptr) return nullptr;
  handle->slotIndex = slotIndex;
  handle->owner = owner;
  try {
    handle->path.assign(path.substr(0, kHandlePathChars));
  } catch (...) {
    delete handle;
    return nullptr;
  }
  return handle;
}

// Frees a handle allocated by newHandle.
inline void releaseHandle(FileSystemProvider*, ProviderHandle* handle) { delete handle; }

}  // namespace crvl::slot_helpers
