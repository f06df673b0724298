#include "platform/secure_wipe.h"

#include <windows.h>

namespace crvl::platform {

void secureWipe(void* data, size_t size) noexcept {
  if (data != nullptr && size != 0) ::SecureZeroMemory(data, size);
}

}  // namespace crvl::platform
