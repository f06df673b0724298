#include "platform/file_names.h"

#include <windows.h>

#include <memory>

#include "engine/path_forms.h"

namespace crvl::platform {
namespace {

struct FindCloser {
  void operator()(HANDLE handle) const noexcept { FindClose(handle); }
};

}  // namespace

ErrorCode listFileNames(std::u16string_view folder, std::vector<std::u16string>& names) {
  names.clear();
  std::u16string pattern = toLongPath(folder);
  if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/') pattern += u'\\';
  pattern += u'*';
  WIN32_FIND_DATAW data{};
  HANDLE raw = FindFirstFileExW(reinterpret_cast<const wchar_t*>(pattern.c_str()),
                                FindExInfoBasic, &data, FindExSearchNameMatch,
                                /*lpSearchFilter=*/nullptr, /*dwAdditionalFlags=*/0);
  if (raw == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? ErrorCode{kSuccess} : ErrorCode{error};
  }
  std::unique_ptr<void, FindCloser> find(raw);
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    names.emplace_back(reinterpret_cast<const char16_t*>(data.cFileName));
  } while (FindNextFileW(raw, &data));
  return kSuccess;
}

}  // namespace crvl::platform
