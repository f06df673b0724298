// Listing folders: every entry with its attributes, size and times, read from the
// folder in one pass (Windows: FindFirstFileExW large fetch; POSIX: getdents64 on the
// folder descriptor with statx relative to it), the shares of a server, and the file
// names of a folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"

namespace crvl::platform {

// Called for each entry of a listing except "." and ".."; `name` is zero-terminated
// (name.data()[name.size()] == 0), `alternativeName` is the 8.3 name or null. Answers
// non-zero to stop. A symbolic link reports its target's type, size and times (its own
// when dangling) with the reparse-point bit 0x400 added.
using LocalEntryVisitor = int32_t (*)(void* data, std::u16string_view name, const LocalEntryInfo& info,
                                      const char16_t* alternativeName);

// Lists a folder. An empty folder is 0; a missing folder is 3; a path that names a file
// is 267. A listing that breaks off, or an entry that cannot be examined, fails the whole
// listing with that error (entries already visited were handed out): only an entry that
// vanished between the listing and its examination is passed over.
// When `listed` is given it is filled, before the first entry is visited, with the
// identity of the folder actually opened (the same values as fileIdentity of its path
// at that moment), so that no second look-up of the path is needed. POSIX fills it from
// the listing's descriptor; Windows, whose listing opens no handle, leaves it unknown.
[[nodiscard]] ErrorCode enumerateLocalFolder(std::u16string_view folder, LocalEntryVisitor visitor, void* data,
                                             FolderIdentity* listed = nullptr);

// Lists the disk shares of a server (`server` is "\\name", a trailing separator
// allowed) as folders with zero size and times; administrative shares ("C$") are left
// out. Windows: NetShareEnum of netapi32, loaded from the system folder at run time;
// non-zero when the server cannot be asked. POSIX: 50, there are no servers.
[[nodiscard]] ErrorCode enumerateServerShares(std::u16string_view server, LocalEntryVisitor visitor, void* data);

// The names of the files (not folders) directly in `folder`, in the system's order.
// `names` is replaced; on failure it is left empty. A missing folder gives 3.
[[nodiscard]] ErrorCode listFileNames(std::u16string_view folder, std::vector<std::u16string>& names);

}  // namespace crvl::platform
