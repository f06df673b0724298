// Icons on Windows: icon group resources, the shell's folder icons, comctl32 image lists.
#include "platform/icons.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

namespace crvl::platform {
namespace {

BOOL CALLBACK takeFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  *reinterpret_cast<LPWSTR*>(found) = name;
  return FALSE;  // the first group is enough
}

}  // namespace

void* firstModuleIcon(const Module& module, int32_t size) noexcept {
  auto* handle = static_cast<HMODULE>(module.native());
  if (handle == nullptr) return nullptr;
  LPWSTR name = nullptr;
  ::EnumResourceNamesW(handle, RT_GROUP_ICON, &takeFirstName, reinterpret_cast<LONG_PTR>(&name));
  if (name == nullptr) return nullptr;
  // A numbered resource is passed as it is; a named one stays valid while the module is
  // loaded.
  return ::LoadImageW(handle, name, IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
}

void* computerFolderIcon(int32_t size) noexcept {
  PIDLIST_ABSOLUTE folder = nullptr;
  if (FAILED(::SHGetFolderLocation(/*hwnd=*/nullptr, CSIDL_DRIVES, /*hToken=*/nullptr, 0, &folder))) return nullptr;
  SHFILEINFOW info{};
  const UINT flags = SHGFI_PIDL | SHGFI_ICON | (size < 32 ? SHGFI_SMALLICON : SHGFI_LARGEICON);
  const DWORD_PTR found =
      ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(folder), 0, &info, sizeof info, flags);
  ::CoTaskMemFree(folder);
  return found != 0 ? info.hIcon : nullptr;
}

int32_t addIconToImageList(void* imageList, void* icon) noexcept {
  if (imageList == nullptr || icon == nullptr) return -1;
  return ::ImageList_ReplaceIcon(static_cast<HIMAGELIST>(imageList), -1, static_cast<HICON>(icon));
}

void destroyIcon(void* icon) noexcept {
  if (icon != nullptr) ::DestroyIcon(static_cast<HICON>(icon));
}

}  // namespace crvl::platform
