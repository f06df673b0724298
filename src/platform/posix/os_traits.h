// Compile-time facts about the POSIX build. The build puts this folder on the include
// path, so core files include "os_traits.h" and never test the operating system.
#pragma once

#include <cstddef>

namespace crvl::os {

// The one path separator; '\' is an ordinary character in POSIX names.
inline constexpr char16_t kSeparator = u'/';
// Whether '\' separates path components as well.
inline constexpr bool kBackslashSeparates = false;
// Whether paths begin with drive letters ("C:\") and UNC shares ("\\server\share").
inline constexpr bool kDrivePaths = false;
// Whether the build is the Windows product.
inline constexpr bool kWindows = false;
// Whether a folder listing tells the identity of the folder it opened
// (platform::enumerateLocalFolder): the POSIX listing reads it from its descriptor.
inline constexpr bool kListingTellsFolderIdentity = true;

// The longest path the system's file calls take, in UTF-16 characters: PATH_MAX is
// 4,096 bytes with the terminator (the system itself refuses a path whose UTF-8 form
// is longer, with ENAMETOOLONG).
inline constexpr size_t kMaxSystemPathChars = 4095;

}  // namespace crvl::os
