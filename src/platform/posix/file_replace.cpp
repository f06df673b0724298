#include "platform/file_replace.h"

#include <cstdio>
#include <cerrno>

#include "platform/posix/posix_errors.h"
#include "platform/text.h"

namespace crvl::platform {

ErrorCode replaceFile(std::u16string_view from, std::u16string_view to) {
  const std::string source = toSystemBytes(from);
  const std::string target = toSystemBytes(to);
  if (source.empty() || target.empty()) return kErrorPathNotFound;
  if (std::rename(source.c_str(), target.c_str()) == 0) return kSuccess;
  return mapErrno(errno);
}

}  // namespace crvl::platform
