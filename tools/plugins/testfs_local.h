// What the test module needs besides the interface: its text conversions (UTF-8, the
// ANSI code page, the interface's wide text) and the local folder it shows as its file
// system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testfs_interface.h"

namespace testfs {

using U16 = std::u16string;

std::string toUtf8(const U16& text);
U16 fromUtf8(const std::string& bytes);
// The module's ANSI code page: the system's on Windows; Latin-1 elsewhere.
U16 fromAnsi(const char* text);
std::string toAnsi(const U16& text);
U16 fromWide(const TChar16* text);

// Copies text into a fixed array, cut to fit, with its terminator.
template <typename C, size_t N>
void copyText(const U16& text, C (&out)[N]) {
  const size_t n = std::min(text.size(), N - 1);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<C>(text[i]);
  out[n] = 0;
}

// A local path in the system's form: wide on Windows, UTF-8 elsewhere.
#if defined(_WIN32)
using Native = std::wstring;
constexpr wchar_t kSep = L'\\';
#else
using Native = std::string;
constexpr char kSep = '/';
#endif
Native native(const std::string& utf8);
Native native(const U16& text);

// One entry of a local folder.
struct Entry {
  U16 name;
  bool folder = false;
  uint64_t size = 0;
  FILETIME creation{}, access{}, write{};
  uint32_t mode = 0;  // the Unix mode (a made-up one on Windows)
};

inline FILETIME ticks(uint64_t t) { return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)}; }

// The entries of a folder without "." and ".."; false when it cannot be listed.
bool listFolder(const Native& folder, std::vector<Entry>& out);
bool exists(const Native& p);
bool isFolder(const Native& p);
bool makeFolder(const Native& p);
bool removeFolder(const Native& p);
// Files only, never a folder.
bool removeFile(const Native& p);
// Fails when `to` exists.
bool moveEntry(const Native& from, const Native& to);
// Contents and last write time; an existing target is replaced.
bool copyEntry(const Native& from, const Native& to);
bool setWriteTime(const Native& p, const FILETIME& t);
bool setReadOnly(const Native& p, bool readOnly);
bool writeText(const Native& p, const std::string& text);

}  // namespace testfs
