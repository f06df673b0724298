#include "platform/secure_wipe.h"

#include <string.h>

namespace crvl::platform {

void secureWipe(void* data, size_t size) noexcept {
  if (data != nullptr && size != 0) ::explicit_bzero(data, size);
}

}  // namespace crvl::platform
