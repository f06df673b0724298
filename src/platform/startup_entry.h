// The entry that starts a program when the user's session starts: a shortcut in the
// user's Startup folder (Windows; the all-users folder when the user's is unknown) or
// an XDG autostart entry, $XDG_CONFIG_HOME/autostart (POSIX). Its name comes from the
// program file's name and a tag of the settings file it starts the program with
// ("CRVL.lnk", "crvl.desktop"; "CRVL 1a2b3c4d.lnk", "crvl-1a2b3c4d.desktop"), so that
// every settings file has an entry of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace crvl::platform {

// The path of the entry of `program` (a full path) with `tag` (empty: none); empty when
// the system has no place for it.
[[nodiscard]] std::u16string startupEntryPath(std::u16string_view program, std::u16string_view tag);

// Switches the entry of `program` on or off. On: when no entry exists, one is made that
// starts `program` with `arguments` (its working folder the program's folder); an entry
// that exists is left as it is. Windows: a shortcut that cannot be saved in place is
// saved in a temporary folder and moved there. A twin in the all-users folder is removed
// (Windows). Off: the entry is removed when it exists. Returns 0, or what kept the entry
// from being written or removed; POSIX: 123 (nothing written) when an argument cannot
// be written exactly (control characters the desktop rules have no escape for, bytes
// that are not UTF-8).
// `title` names the entry where the system shows a name (POSIX: "Name"; the Windows
// shortcut is described by its file name).
[[nodiscard]] ErrorCode setStartupEntry(bool on, std::u16string_view program, std::u16string_view tag,
                                        std::u16string_view title, const std::vector<std::u16string>& arguments);

// The arguments of the existing entry, as the system stores them (Windows: the
// shortcut's argument text; POSIX: the Exec line after the program). False when there
// is no entry or it cannot be read.
[[nodiscard]] bool readStartupEntry(std::u16string_view program, std::u16string_view tag,
                                    std::u16string* arguments);

}  // namespace crvl::platform
