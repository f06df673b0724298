// The test module's own text conversions and its access to the local folder it shows:
// the system's wide functions on Windows (exact times, no conversion), POSIX calls
// elsewhere.
#include "testfs_local.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace testfs {

// --- Text ---------------------------------------------------------------------------

std::string toUtf8(const U16& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

U16 fromUtf8(const std::string& bytes) {
  U16 out;
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    uint32_t c = b;
    size_t n = 1;
    if (b >= 0xF0 && i + 3 < bytes.size() + 0) {
      c = ((b & 0x07u) << 18) | ((bytes[i + 1] & 0x3Fu) << 12) | ((bytes[i + 2] & 0x3Fu) << 6) | (bytes[i + 3] & 0x3Fu);
      n = 4;
    } else if (b >= 0xE0 && i + 2 < bytes.size()) {
      c = ((b & 0x0Fu) << 12) | ((bytes[i + 1] & 0x3Fu) << 6) | (bytes[i + 2] & 0x3Fu);
      n = 3;
    } else if (b >= 0xC0 && i + 1 < bytes.size()) {
      c = ((b & 0x1Fu) << 6) | (bytes[i + 1] & 0x3Fu);
      n = 2;
    }
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

// The module's ANSI code page: the system's on Windows; Latin-1 here elsewhere.
U16 fromAnsi(const char* text) {
#if defined(_WIN32)
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring w(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, w.data(), n);
  return U16(w.begin(), w.end());
#else
  U16 out;
  for (const char* p = text; *p != 0; ++p) out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  return out;
#endif
}

std::string toAnsi(const U16& text) {
#if defined(_WIN32)
  const std::wstring w(text.begin(), text.end());
  const int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
#else
  std::string out;
  for (char16_t c : text) out += c < 0x100 ? static_cast<char>(c) : '?';
  return out;
#endif
}

U16 fromWide(const TChar16* text) {
  U16 out;
  for (const TChar16* p = text; *p != 0; ++p) out += static_cast<char16_t>(*p);
  return out;
}


// --- The local folder -----------------------------------------------------------------

#if defined(_WIN32)
Native native(const std::string& utf8) {
  const U16 u = fromUtf8(utf8);
  return Native(u.begin(), u.end());
}
Native native(const U16& u) { return Native(u.begin(), u.end()); }
#else
Native native(const std::string& utf8) { return utf8; }
Native native(const U16& u) { return toUtf8(u); }
#endif



#if defined(_WIN32)
bool listFolder(const Native& folder, std::vector<Entry>& out) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    Entry e;
    e.name.assign(name.begin(), name.end());
    e.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    e.creation = data.ftCreationTime;
    e.access = data.ftLastAccessTime;
    e.write = data.ftLastWriteTime;
    e.mode = e.folder ? 040755 : 0100644;
    out.push_back(e);
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return true;
}
bool exists(const Native& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool isFolder(const Native& p) {
  const DWORD a = GetFileAttributesW(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
bool makeFolder(const Native& p) { return CreateDirectoryW(p.c_str(), nullptr) != 0; }
bool removeFolder(const Native& p) { return RemoveDirectoryW(p.c_str()) != 0; }
bool removeFile(const Native& p) { return !isFolder(p) && DeleteFileW(p.c_str()) != 0; }
bool moveEntry(const Native& from, const Native& to) { return MoveFileExW(from.c_str(), to.c_str(), 0) != 0; }
// Copies contents and the last write time.
bool copyEntry(const Native& from, const Native& to) { return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0; }
bool setWriteTime(const Native& p, const FILETIME& t) {
  HANDLE h = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = SetFileTime(h, nullptr, nullptr, &t);
  CloseHandle(h);
  return ok != 0;
}
bool setReadOnly(const Native& p, bool readOnly) {
  DWORD a = GetFileAttributesW(p.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  a = readOnly ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~FILE_ATTRIBUTE_READONLY);
  return SetFileAttributesW(p.c_str(), a) != 0;
}
bool writeText(const Native& p, const std::string& text) {
  std::ofstream out(p.c_str(), std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}
#else
static uint64_t toTicks(const struct timespec& t) {
  return static_cast<uint64_t>(t.tv_sec) * 10000000ull + static_cast<uint64_t>(t.tv_nsec) / 100 +
         116444736000000000ull;
}
static struct timespec fromTicks(const FILETIME& f) {
  const uint64_t t = ((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) - 116444736000000000ull;
  struct timespec s;
  s.tv_sec = static_cast<time_t>(t / 10000000ull);
  s.tv_nsec = static_cast<long>((t % 10000000ull) * 100);
  return s;
}
bool listFolder(const Native& folder, std::vector<Entry>& out) {
  DIR* d = opendir(folder.c_str());
  if (d == nullptr) return false;
  while (struct dirent* ent = readdir(d)) {
    const std::string name = ent->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (lstat((folder + "/" + name).c_str(), &st) != 0) continue;
    Entry e;
    e.name = fromUtf8(name);
    e.folder = S_ISDIR(st.st_mode);
    e.size = e.folder ? 0 : static_cast<uint64_t>(st.st_size);
    e.creation = ticks(toTicks(st.st_mtim));
    e.access = ticks(toTicks(st.st_atim));
    e.write = ticks(toTicks(st.st_mtim));
    e.mode = st.st_mode;
    out.push_back(e);
  }
  closedir(d);
  return true;
}
bool exists(const Native& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}
bool isFolder(const Native& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool makeFolder(const Native& p) { return mkdir(p.c_str(), 0755) == 0; }
bool removeFolder(const Native& p) { return rmdir(p.c_str()) == 0; }
bool removeFile(const Native& p) { return !isFolder(p) && unlink(p.c_str()) == 0; }
bool moveEntry(const Native& from, const Native& to) { return !exists(to) && rename(from.c_str(), to.c_str()) == 0; }
bool copyEntry(const Native& from, const Native& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return false;
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << in.rdbuf();
  out.close();
  if (!out) return false;
  struct stat st;
  if (stat(from.c_str(), &st) != 0) return false;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return utimensat(AT_FDCWD, to.c_str(), times, 0) == 0;
}
bool setWriteTime(const Native& p, const FILETIME& t) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, fromTicks(t)};
  return utimensat(AT_FDCWD, p.c_str(), times, 0) == 0;
}
bool setReadOnly(const Native& p, bool readOnly) {
  struct stat st;
  if (stat(p.c_str(), &st) != 0) return false;
  const mode_t mode = readOnly ? (st.st_mode & ~0222u) : (st.st_mode | 0200u);
  return chmod(p.c_str(), mode & 07777) == 0;
}
bool writeText(const Native& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}
#endif

}  // namespace testfs
