// The disk shares of a server, listed with NetShareEnum. netapi32 is loaded from the
// system folder only when a server is listed, so the program has no import of it and a
// library of that name elsewhere on the search path is never taken.
#include <windows.h>
#include <lm.h>

#include <cwchar>
#include <string>

#include "platform/local_fs.h"

namespace crvl::platform {
namespace {

using NetShareEnumFn = NET_API_STATUS(WINAPI*)(LMSTR server, DWORD level, LPBYTE* buffer, DWORD preferredLength,
                                               LPDWORD entriesRead, LPDWORD totalEntries, LPDWORD resume);
using NetApiBufferFreeFn = NET_API_STATUS(WINAPI*)(LPVOID buffer);

// Share types below this mask; the flags above it mark special and temporary shares.
constexpr DWORD kShareTypeMask = 0xFF;

class SystemLibrary {
 public:
  // Loads `name` from the system folder (by its full path; dependencies from there too).
  explicit SystemLibrary(const wchar_t* name) noexcept {
    wchar_t folder[MAX_PATH + 1];
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return;
    std::wstring path(folder, n);
    path += L'\\';
    path += name;
    module_ = ::LoadLibraryExW(path.c_str(), /*hFile=*/nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems without the search flags refuse them with 87; the full path alone is safe there.
    if (module_ == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
      module_ = ::LoadLibraryExW(path.c_str(), /*hFile=*/nullptr, 0);
    }
  }
  ~SystemLibrary() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  [[nodiscard]] bool loaded() const noexcept { return module_ != nullptr; }

  // The export `name` as a function of type F, or null.
  template <typename F>
  [[nodiscard]] F function(const char* name) const noexcept {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

// Frees a buffer that NetShareEnum allocated.
class NetBuffer {
 public:
  explicit NetBuffer(NetApiBufferFreeFn free) noexcept : free_(free) {}
  ~NetBuffer() {
    if (data_ != nullptr) free_(data_);
  }
  NetBuffer(const NetBuffer&) = delete;
  NetBuffer& operator=(const NetBuffer&) = delete;
  LPBYTE* out() noexcept { return &data_; }
  [[nodiscard]] const SHARE_INFO_1* shares() const noexcept { return reinterpret_cast<const SHARE_INFO_1*>(data_); }

 private:
  NetApiBufferFreeFn free_;
  LPBYTE data_ = nullptr;
};

}  // namespace

ErrorCode enumerateServerShares(std::u16string_view server, LocalEntryVisitor visitor, void* data) {
  while (!server.empty() && (server.back() == u'\\' || server.back() == u'/')) server.remove_suffix(1);
  if (server.size() < 3) return kErrorBadNetPath;
  std::wstring name(reinterpret_cast<const wchar_t*>(server.data()), server.size());
  for (wchar_t& c : name) {
    if (c == L'/') c = L'\\';
  }

  const SystemLibrary netapi(L"netapi32.dll");
  if (!netapi.loaded()) {
    const DWORD e = ::GetLastError();
    return e != 0 ? e : ErrorCode{kErrorModNotFound};
  }
  const auto shareEnum = netapi.function<NetShareEnumFn>("NetShareEnum");
  const auto bufferFree = netapi.function<NetApiBufferFreeFn>("NetApiBufferFree");
  if (shareEnum == nullptr || bufferFree == nullptr) return kErrorProcNotFound;

  DWORD resume = 0;
  NET_API_STATUS status = ERROR_MORE_DATA;
  while (status == ERROR_MORE_DATA) {
    NetBuffer buffer(bufferFree);
    DWORD read = 0, total = 0;
    status = shareEnum(name.data(), /*level=*/1, buffer.out(), MAX_PREFERRED_LENGTH, &read, &total, &resume);
    if (status != NERR_Success && status != ERROR_MORE_DATA) return status;
    const SHARE_INFO_1* shares = buffer.shares();
    for (DWORD i = 0; shares != nullptr && i < read; ++i) {
      const SHARE_INFO_1& share = shares[i];
      if ((share.shi1_type & kShareTypeMask) != STYPE_DISKTREE || (share.shi1_type & STYPE_SPECIAL) != 0) continue;
      if (share.shi1_netname == nullptr || share.shi1_netname[0] == 0) continue;
      LocalEntryInfo info;
      info.attributes = FILE_ATTRIBUTE_DIRECTORY;
      const std::u16string_view shown(reinterpret_cast<const char16_t*>(share.shi1_netname),
                                      std::wcslen(share.shi1_netname));
      if (visitor(data, shown, info, /*alternativeName=*/nullptr) != 0) return 0;
    }
    if (read == 0) break;  // never loop on a server that hands out nothing more
  }
  return 0;
}

}  // namespace crvl::platform
