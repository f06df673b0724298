// Every call into a module goes through here: the wide entry when the module has it,
// else the ANSI entry with the paths in the system code page (and the results read back
// from it); contained, so that an exception thrown inside the module or a fault in its
// code answers 50 instead of ending the program. After a fault the module is marked
// unusable and no call reaches it any more.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "plugins/file_system_plugin.h"
#include "plugins/plugin_interface.h"

namespace crvl::plugin_calls {

// The longest path a module is handed, in characters.
inline constexpr size_t kMaxModulePath = 1023;

// What a call answered. `error` is 0 when the module answered `value`; otherwise the
// module was not called (50: no entry for it, or the module is unusable; 123: a path
// without an ANSI form for an ANSI entry; 206: a path too long) or did not answer
// (50: it threw or faulted).
template <typename T>
struct Answer {
  ErrorCode error = kErrorNotSupported;
  T value{};
  [[nodiscard]] bool answered() const noexcept { return error == 0; }
};

// FsFindFirst. `data` receives the first entry in the wide form (an ANSI entry's names
// converted); `lastError` the module's error when it answers the invalid handle.
[[nodiscard]] Answer<wfx::Handle> findFirst(FileSystemPlugin& p, std::u16string_view path, wfx::FindDataW& data,
                                            ErrorCode& lastError);
[[nodiscard]] Answer<bool> findNext(FileSystemPlugin& p, wfx::Handle handle, wfx::FindDataW& data);
[[nodiscard]] Answer<int32_t> findClose(FileSystemPlugin& p, wfx::Handle handle);

[[nodiscard]] Answer<bool> makeFolder(FileSystemPlugin& p, std::u16string_view path);
[[nodiscard]] Answer<bool> removeFolder(FileSystemPlugin& p, std::u16string_view path);
[[nodiscard]] Answer<bool> deleteFile(FileSystemPlugin& p, std::u16string_view path);
[[nodiscard]] Answer<bool> setAttributes(FileSystemPlugin& p, std::u16string_view path, int32_t attributes);
// Null times are left as they are.
[[nodiscard]] Answer<bool> setTimes(FileSystemPlugin& p, std::u16string_view path, const wfx::FileTime* creation,
                                    const wfx::FileTime* lastAccess, const wfx::FileTime* lastWrite);
[[nodiscard]] Answer<int32_t> renameMove(FileSystemPlugin& p, std::u16string_view oldPath,
                                         std::u16string_view newPath, bool move, bool overwrite,
                                         const wfx::RemoteInfo& info);
[[nodiscard]] Answer<int32_t> getFile(FileSystemPlugin& p, std::u16string_view remote, std::u16string_view local,
                                      int32_t copyFlags, const wfx::RemoteInfo& info);
[[nodiscard]] Answer<int32_t> putFile(FileSystemPlugin& p, std::u16string_view local, std::u16string_view remote,
                                      int32_t copyFlags);
[[nodiscard]] Answer<int32_t> executeFile(FileSystemPlugin& p, void* window, std::u16string_view remoteName,
                                          std::u16string_view verb);
// FsStatusInfo; nothing when the module lacks it.
void statusInfo(FileSystemPlugin& p, std::u16string_view folder, int32_t startEnd, int32_t operation);
// FsExtractCustomIcon; the module may rewrite the name.
[[nodiscard]] Answer<int32_t> extractCustomIcon(FileSystemPlugin& p, std::u16string_view remoteName, int32_t flags,
                                                void** icon);
// FsGetLocalName with a buffer of kMaxModulePath + 1 characters; `local` receives the
// buffer's text when the module answers true.
[[nodiscard]] Answer<bool> getLocalName(FileSystemPlugin& p, std::u16string_view remoteName, std::u16string& local);
// FsGetDefRootName with a 1024-byte buffer, at most 63 characters kept.
[[nodiscard]] Answer<std::u16string> defaultRootName(FileSystemPlugin& p);
[[nodiscard]] Answer<bool> linksToLocalFiles(FileSystemPlugin& p);
// FsInit (ANSI), then FsInitW, each when present, with plug-in number 0 and the
// program's callbacks. 0 when neither faulted.
[[nodiscard]] ErrorCode initialise(FileSystemPlugin& p);
[[nodiscard]] ErrorCode setDefaultParams(FileSystemPlugin& p, const wfx::DefaultParams& params);

}  // namespace crvl::plugin_calls
