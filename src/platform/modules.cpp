// The parts of Module that are the same on both systems.
#include "platform/modules.h"

#include <utility>

namespace crvl::platform {

Module::Module(Module&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    unload();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Module::~Module() { unload(); }

}  // namespace crvl::platform
