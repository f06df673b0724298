// Modules on Windows: system libraries by their full path, other modules by absolute
// path with the search limited to their own folder and the system folders.
#include "platform/modules.h"

#include <windows.h>

#include <string>

#include "platform/paths.h"
#include "platform/win32/long_paths.h"

namespace crvl::platform {

ErrorCode Module::loadSystem(std::u16string_view name) {
  unload();
  wchar_t folder[MAX_PATH + 1];
  const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return ::GetLastError();
  std::wstring path(folder, n);
  path += L'\\';
  path.append(reinterpret_cast<const wchar_t*>(name.data()), name.size());
  HMODULE module = ::LoadLibraryExW(path.c_str(), /*hFile=*/nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Systems without the search flags refuse them with 87; the full path alone is safe there.
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    module = ::LoadLibraryExW(path.c_str(), /*hFile=*/nullptr, 0);
  }
  if (module == nullptr) return failureResult(::GetLastError(), kErrorModNotFound);
  handle_ = module;
  return 0;
}

ErrorCode Module::loadFile(std::u16string_view absolutePath) {
  unload();
  // "C:name" is relative to the drive's current folder: only "C:\" and "\\server" paths count.
  const bool drive = isDrivePath(absolutePath) && absolutePath.size() > 2 && isAnySeparator(absolutePath[2]);
  if (!drive && leadingSeparators(absolutePath) != 2) return kErrorInvalidParameter;
  const std::wstring path = longSystemPath(absolutePath);
  const HMODULE module = ::LoadLibraryExW(path.c_str(), /*hFile=*/nullptr,
                                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (module == nullptr) return failureResult(::GetLastError(), kErrorModNotFound);
  if (isAbandoned(module)) {
    // Only the count of this load goes: the abandoned reference keeps it mapped.
    ::FreeLibrary(module);
    return kErrorDllInitFailed;
  }
  handle_ = module;
  return 0;
}

void* Module::symbol(const char* name) const noexcept {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void Module::unload() noexcept {
  if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

std::u16string lastModuleLoadText() { return {}; }

void restrictLibrarySearch() noexcept { ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS); }

ErrorCode moduleError() noexcept { return ::GetLastError(); }

void clearModuleError() noexcept { ::SetLastError(0); }

}  // namespace crvl::platform
