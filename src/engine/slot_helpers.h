// Small pieces shared by the built-in provider slots.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <string_view>

#include "engine/provider_table.h"

namespace crvl::slot_helpers {

// Copies `text` and its terminator into a caller's buffer of `capacity` characters.
// Returns 0, or kErrorFilenameExcedRange with an empty buffer when the text does not
// fit: a path cut to fit would name another entry.
[[nodiscard]] inline ErrorCode copyOut(std::u16string_view text, char16_t* out, uint32_t capacity) noexcept {
  if (out == nullptr || capacity == 0) return kErrorFilenameExcedRange;
  if (text.size() >= capacity) {
    out[0] = 0;
    return kErrorFilenameExcedRange;
  }
  std::copy_n(text.data(), text.size(), out);
  out[text.size()] = 0;
  return 0;
}

// A new handle on `path`, or null when memory runs out or the path is longer than
// `limit` characters (never cut to fit).
inline ProviderHandle* newHandle(void* owner, int32_t slotIndex, std::u16string_view path,
                                 size_t limit = kHandlePathChars) noexcept {
  if (path.size() > limit) return nullptr;
  auto* handle = new (std::nothrow) ProviderHandle;
  if (handle == nullptr) return nullptr;
  handle->slotIndex = slotIndex;
  handle->owner = owner;
  try {
    handle->path.assign(path);
  } catch (...) {
    delete handle;
    return nullptr;
  }
  return handle;
}

// Frees a handle allocated by newHandle.
inline void releaseHandle(FileSystemProvider*, ProviderHandle* handle) { delete handle; }

}  // namespace crvl::slot_helpers
