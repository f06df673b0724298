#include "platform/file_lock.h"

#include <utility>

namespace crvl::platform {

FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    unlock();
    handle_ = std::exchange(other.handle_, kNone);
  }
  return *this;
}

}  // namespace crvl::platform
