// The parts of File that are the same on both systems (ownership moves, closing on
// destruction) and whole-file reading and writing over it.
#include "platform/files.h"

namespace crvl::platform {

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

File::~File() { close(); }

ErrorCode readWholeFile(std::u16string_view path, std::string& out) {
  out.clear();
  File file;
  ErrorCode r = openFile(path, OpenMode::Read, &file);
  if (r != kSuccess) return r;
  uint64_t expected = 0;
  if (file.size(&expected) == kSuccess && expected < (uint64_t{1} << 31)) {
    out.reserve(static_cast<size_t>(expected));
  }
  // Read to the end rather than trusting the size: the file may grow meanwhile.
  char buffer[64 * 1024];
  for (;;) {
    size_t done = 0;
    r = file.read(buffer, sizeof buffer, &done);
    if (r != kSuccess) {
      out.clear();
      return r;
    }
    if (done == 0) return kSuccess;
    out.append(buffer, done);
  }
}

ErrorCode writeWholeFile(std::u16string_view path, std::string_view bytes) {
  const uint32_t attributes = fileAttributes(path);
  if (attributes != kInvalidAttributes && (attributes & kAttrReadOnly) != 0 &&
      (attributes & kAttrFolder) == 0) {
    (void)setFileAttributes(path, attributes & ~kAttrReadOnly);
  }
  File file;
  ErrorCode r = openFile(path, OpenMode::CreateAlways, &file);
  if (r != kSuccess) return r;
  return file.write(bytes.data(), bytes.size());
}

}  // namespace crvl::platform
