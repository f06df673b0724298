// Listings on Windows: FindFirstFileExW with the basic information and large fetch
// where the system has them.
#include "platform/listings.h"

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "platform/win32/file_system.h"

namespace crvl::platform {

using win32::entryInfo;
using win32::longPath;

namespace {

// Large-fetch basic listings until the system refuses them once with 87.
std::atomic<bool> g_useBasicListing{true};

ErrorCode mapListingError(DWORD e) {
  if (e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES) return 0;  // an empty folder
  return failureResult(e, kErrorPathNotFound);
}

}  // namespace

ErrorCode enumerateLocalFolder(std::u16string_view folder, LocalEntryVisitor visitor, void* data,
                               FolderIdentity* listed) {
  if (listed != nullptr) *listed = FolderIdentity{};  // a find handle tells no identity
  std::u16string pattern(folder);
  if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/') pattern.push_back(u'\\');
  pattern += u"*.*";
  const std::wstring wide = longPath(pattern);
  WIN32_FIND_DATAW found;
  UniqueFind find;
  if (g_useBasicListing.load()) {
    find.reset(::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                  FIND_FIRST_EX_LARGE_FETCH));
    if (!find.valid()) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_INVALID_PARAMETER) g_useBasicListing.store(false);
      if (e == 0 || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_MENU_HANDLE) return kErrorPathNotFound;
      if (e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES) return 0;
    }
  }
  if (!find.valid()) {
    find.reset(::FindFirstFileW(wide.c_str(), &found));
    if (!find.valid()) return mapListingError(::GetLastError());
  }
  for (;;) {
    const wchar_t* name = found.cFileName;
    const bool dots = (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
    if (!dots) {
      LocalEntryInfo info;
      entryInfo(found, &info);
      const char16_t* alternative = found.cAlternateFileName[0] != 0
                                        ? reinterpret_cast<const char16_t*>(found.cAlternateFileName)
                                        : nullptr;
      const std::u16string_view view(reinterpret_cast<const char16_t*>(name), std::wcslen(name));
      if (visitor(data, view, info, alternative) != 0) return 0;
    }
    if (!::FindNextFileW(find.get(), &found)) {
      // Only the end of the folder ends a listing well; anything else leaves it
      // incomplete, and an incomplete listing must never pass for the folder's content.
      const DWORD e = ::GetLastError();
      if (e == ERROR_NO_MORE_FILES) return 0;
      return e == 0 ? ErrorCode{kErrorReadFault} : mapListingError(e);
    }
  }
}

}  // namespace crvl::platform
