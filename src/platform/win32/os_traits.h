// Compile-time facts about the Windows build. The build puts this folder on the include
// path, so core files include "os_traits.h" and never test the operating system.
#pragma once

#include <cstddef>

namespace crvl::os {

// The native path separator; '/' is read as a separator too.
inline constexpr char16_t kSeparator = u'\\';
// Whether '\' separates path components as well.
inline constexpr bool kBackslashSeparates = true;
// Whether paths begin with drive letters ("C:\") and UNC shares ("\\server\share").
inline constexpr bool kDrivePaths = true;
// Whether the build is the Windows product.
inline constexpr bool kWindows = true;
// Whether a folder listing tells the identity of the folder it opened
// (platform::enumerateLocalFolder): a find handle tells none.
inline constexpr bool kListingTellsFolderIdentity = false;

// The longest path the system's file calls take, in UTF-16 characters: 32,767 with
// the "\\?\UNC\" form the platform layer adds to long paths (8 characters).
inline constexpr size_t kMaxSystemPathChars = 32767 - 8;

}  // namespace crvl::os
