// Small conversions of the SFTP module: the interface's UTF-16 text and the server's
// UTF-8 names, file times, and the host key fingerprint's text form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "plugin_interface.h"

namespace sftp {

std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);
// A zero-terminated text of the interface, read at most `limit` units far.
std::u16string fromWide(const char16_t* text, size_t limit = 1024);
// Copies `text` into an interface buffer of `capacity` units, cut to fit, terminated.
void copyWide(std::u16string_view text, char16_t* out, size_t capacity);

// Seconds since 1970 <-> Windows file time (100 ns units since 1601).
crvl::wfx::FileTime fileTimeOf(uint64_t unixSeconds);
// The whole seconds of a file time (sub-second parts dropped; before 1970 gives 0).
uint64_t unixSecondsOf(const crvl::wfx::FileTime& time);

// Standard base64 without '=' padding, as OpenSSH prints fingerprints.
std::string base64Unpadded(const unsigned char* data, size_t size);
// "SHA256:" and the unpadded base64 of a 32-byte digest.
std::string sha256Fingerprint(const unsigned char* digest32);

// ASCII case-insensitive equality (section and key names).
bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string_view trimmed(std::string_view s);

}  // namespace sftp
