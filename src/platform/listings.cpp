// The file names of a folder, from the one listing of each system.
#include "platform/listings.h"

#include <new>

namespace crvl::platform {
namespace {

int32_t collectFileName(void* data, std::u16string_view name, const LocalEntryInfo& info, const char16_t*) {
  if ((info.attributes & kAttrFolder) != 0 || info.special) return 0;
  try {
    static_cast<std::vector<std::u16string>*>(data)->emplace_back(name);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  return 0;
}

}  // namespace

ErrorCode listFileNames(std::u16string_view folder, std::vector<std::u16string>& names) {
  names.clear();
  const ErrorCode r = enumerateLocalFolder(folder, &collectFileName, &names);
  if (r != kSuccess) names.clear();
  return r;
}

}  // namespace crvl::platform
