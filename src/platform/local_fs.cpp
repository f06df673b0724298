// The parts of the local stream that are the same on both systems.
#include "platform/local_fs.h"

namespace crvl::platform {

LocalStream::LocalStream(LocalStream&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

LocalStream& LocalStream::operator=(LocalStream&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

LocalStream::~LocalStream() { close(); }

}  // namespace crvl::platform
