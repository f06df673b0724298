// The disk shares of a server, listed with NetShareEnum. netapi32 is loaded from the
// system folder only when a server is listed, so the program has no import of it and a
// library of that name elsewhere on the search path is never taken.
#include <windows.h>
#include <lm.h>

#include <cwchar>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/modules.h"
#include "platform/listings.h"

namespace crvl::platform {
namespace {

using NetShareEnumFn = NET_API_STATUS(WINAPI*)(LMSTR server, DWORD level, LPBYTE* buffer, DWORD preferredLength,
                                               LPDWORD entriesRead, LPDWORD totalEntries, LPDWORD resume);
using NetApiBufferFreeFn = NET_API_STATUS(WINAPI*)(LPVOID buffer);

// Share types below this mask; the flags above it mark special and temporary shares.
constexpr DWORD kShareTypeMask = 0xFF;

// Frees a buffer that NetShareEnum allocated, through the library's own function.
struct NetBufferFree {
  NetApiBufferFreeFn free = nullptr;
  void operator()(BYTE* data) const noexcept {
    if (free != nullptr) free(data);
  }
};
using NetBuffer = std::unique_ptr<BYTE, NetBufferFree>;

}  // namespace

ErrorCode enumerateServerShares(std::u16string_view server, LocalEntryVisitor visitor, void* data) {
  while (!server.empty() && (server.back() == u'\\' || server.back() == u'/')) server.remove_suffix(1);
  if (server.size() < 3) return kErrorBadNetPath;
  std::wstring name(reinterpret_cast<const wchar_t*>(server.data()), server.size());
  for (wchar_t& c : name) {
    if (c == L'/') c = L'\\';
  }

  Module netapi;
  if (const ErrorCode loaded = netapi.loadSystem(u"netapi32.dll"); loaded != 0) return loaded;
  const auto shareEnum = netapi.function<NetShareEnumFn>("NetShareEnum");
  const auto bufferFree = netapi.function<NetApiBufferFreeFn>("NetApiBufferFree");
  if (shareEnum == nullptr || bufferFree == nullptr) return kErrorProcNotFound;

  DWORD resume = 0;
  NET_API_STATUS status = ERROR_MORE_DATA;
  while (status == ERROR_MORE_DATA) {
    LPBYTE raw = nullptr;
    DWORD read = 0, total = 0;
    status = shareEnum(name.data(), /*level=*/1, &raw, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    const NetBuffer buffer(raw, NetBufferFree{bufferFree});
    if (status != NERR_Success && status != ERROR_MORE_DATA) return status;
    const auto* shares = reinterpret_cast<const SHARE_INFO_1*>(buffer.get());
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
