// Overwriting secrets (passwords) in memory so that the compiler cannot drop the
// stores as dead.
#pragma once

#include <cstddef>

namespace crvl::platform {

// Sets the `size` bytes at `data` to zero; a null `data` or a size of 0 does nothing.
void secureWipe(void* data, size_t size) noexcept;

}  // namespace crvl::platform
