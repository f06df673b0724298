// Whole-file and simple file-system operations on Windows (W functions, long paths).
#include "platform/files.h"

#include <windows.h>

#include "engine/path_forms.h"

#include <algorithm>
#include <string>

namespace crvl::platform {
namespace {

constexpr size_t kChunk = size_t{16} << 20;  // largest single read or write
// CreateDirectoryW stops at 248 characters, before the general limit of 260.
constexpr size_t kFolderLongPathFrom = 248;

std::wstring asWide(const std::u16string& text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

// The form of `path` that the W functions accept at any length.
std::wstring systemPath(std::u16string_view path) { return asWide(toLongPath(path)); }

// As systemPath, but in the long form from the shorter folder limit on.
std::wstring folderSystemPath(std::u16string_view path) {
  if (path.size() < kFolderLongPathFrom || path.size() >= kLongPathThreshold ||
      path.starts_with(u"\\\\?\\")) {
    return systemPath(path);
  }
  std::u16string out(path);
  std::replace(out.begin(), out.end(), u'/', u'\\');
  if (out.size() >= 3 && out[1] == u':' && out[2] == u'\\') return asWide(u"\\\\?\\" + out);
  if (out.starts_with(u"\\\\") && out[2] != u'\\') return asWide(u"\\\\?\\UNC" + out.substr(1));
  return asWide(out);
}

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the first component after the root begins: "C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\"; 0 for relative paths.
size_t rootLength(const std::wstring& p) {
  size_t start = 0;
  bool unc = false;
  if (p.starts_with(L"\\\\?\\UNC\\")) {
    start = 8;
    unc = true;
  } else if (p.starts_with(L"\\\\?\\")) {
    start = 4;
  } else if (p.size() >= 2 && isSeparator(p[0]) && isSeparator(p[1])) {
    start = 2;
    unc = true;
  }
  if (unc) {
    // Skip the server and share names.
    size_t pos = start;
    for (int part = 0; part < 2 && pos < p.size(); ++part) {
      while (pos < p.size() && !isSeparator(p[pos])) ++pos;
      if (pos < p.size()) ++pos;
    }
    return pos;
  }
  if (p.size() >= start + 2 && p[start + 1] == L':') {
    return (p.size() > start + 2 && isSeparator(p[start + 2])) ? start + 3 : start + 2;
  }
  if (p.size() > start && isSeparator(p[start])) return start + 1;
  return start;
}

HANDLE asHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

bool File::isOpen() const noexcept { return handle_ != -1 && handle_ != 0; }

void File::close() noexcept {
  if (isOpen()) ::CloseHandle(asHandle(handle_));
  handle_ = -1;
}

ErrorCode File::read(void* buffer, size_t size, size_t* done) noexcept {
  *done = 0;
  if (!isOpen()) return kErrorInvalidHandle;
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min(size, kChunk));
  if (!::ReadFile(asHandle(handle_), buffer, want, &got, /*lpOverlapped=*/nullptr)) {
    const DWORD err = ::GetLastError();
    return err == ERROR_HANDLE_EOF || err == ERROR_BROKEN_PIPE ? ErrorCode{kSuccess} : err;
  }
  *done = got;
  return kSuccess;
}

ErrorCode File::write(const void* data, size_t size) noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min(size, kChunk));
    if (!::WriteFile(asHandle(handle_), p, piece, &written, /*lpOverlapped=*/nullptr)) {
      return ::GetLastError();
    }
    if (written == 0) return kErrorWriteFault;
    p += written;
    size -= written;
  }
  return kSuccess;
}

ErrorCode File::seekToEnd() noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(asHandle(handle_), zero, /*lpNewFilePointer=*/nullptr, FILE_END)
             ? ErrorCode{kSuccess}
             : ::GetLastError();
}

ErrorCode File::size(uint64_t* bytes) const noexcept {
  *bytes = 0;
  if (!isOpen()) return kErrorInvalidHandle;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(asHandle(handle_), &size)) return ::GetLastError();
  *bytes = static_cast<uint64_t>(size.QuadPart);
  return kSuccess;
}

ErrorCode openFile(std::u16string_view path, OpenMode mode, File* file) {
  file->close();
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (path.empty()) return kErrorPathNotFound;
  const std::wstring native = systemPath(path);
  DWORD access = GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case OpenMode::Read: access = GENERIC_READ; break;
    case OpenMode::ReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    case OpenMode::CreateAlways: {
      disposition = CREATE_ALWAYS;
      // CREATE_ALWAYS fails on a hidden or system file unless those attributes are
      // asked for again.
      const DWORD old = ::GetFileAttributesW(native.c_str());
      if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        const DWORD keep = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (keep != 0) attributes = keep;
      }
      break;
    }
    case OpenMode::OpenOrCreate: disposition = OPEN_ALWAYS; break;
    case OpenMode::CreateNew: disposition = CREATE_NEW; break;
  }
  // Readers share deletion too: a file that is replaced by a rename while it is read
  // must not make the replacement fail.
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (mode == OpenMode::Read ? FILE_SHARE_DELETE : 0);
  const HANDLE h = ::CreateFileW(native.c_str(), access, sharing,
                                 /*lpSecurityAttributes=*/nullptr, disposition, attributes,
                                 /*hTemplateFile=*/nullptr);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
  *file = File(reinterpret_cast<intptr_t>(h));
  return kSuccess;
}

ErrorCode deleteFile(std::u16string_view path) {
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (path.empty()) return kErrorPathNotFound;
  return ::DeleteFileW(systemPath(path).c_str()) ? ErrorCode{kSuccess} : ::GetLastError();
}

ErrorCode createFolderChain(std::u16string_view path) {
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  std::wstring native = folderSystemPath(path);
  while (native.size() > 1 && isSeparator(native.back())) native.pop_back();
  if (native.empty()) return kErrorPathNotFound;
  const size_t root = rootLength(native);
  size_t pos = root;
  for (;;) {
    size_t cut = pos;
    while (cut < native.size() && !isSeparator(native[cut])) ++cut;
    if (cut > pos) {
      const std::wstring part = native.substr(0, cut);
      if (!::CreateDirectoryW(part.c_str(), /*lpSecurityAttributes=*/nullptr)) {
        const DWORD err = ::GetLastError();
        const DWORD now = ::GetFileAttributesW(part.c_str());
        if (now == INVALID_FILE_ATTRIBUTES || (now & FILE_ATTRIBUTE_DIRECTORY) == 0) {
          return err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ? ErrorCode{kErrorAlreadyExists}
                                                                         : err;
        }
      }
    }
    if (cut >= native.size()) return kSuccess;
    pos = cut + 1;
  }
}

ErrorCode copyFile(std::u16string_view source, std::u16string_view target) {
  if (source.find(u'\0') != source.npos || target.find(u'\0') != target.npos) {
    return kErrorInvalidName;
  }
  return ::CopyFileW(systemPath(source).c_str(), systemPath(target).c_str(),
                     /*bFailIfExists=*/FALSE)
             ? ErrorCode{kSuccess}
             : ::GetLastError();
}

uint32_t fileAttributes(std::u16string_view path) {
  if (path.empty() || path.find(u'\0') != path.npos) return kInvalidAttributes;
  return ::GetFileAttributesW(systemPath(path).c_str());
}

ErrorCode setFileAttributes(std::u16string_view path, uint32_t attributes) {
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (path.empty()) return kErrorPathNotFound;
  // The folder bit is not a settable attribute.
  const DWORD settable = attributes & ~static_cast<DWORD>(kAttrFolder);
  return ::SetFileAttributesW(systemPath(path).c_str(),
                              settable == 0 ? FILE_ATTRIBUTE_NORMAL : settable)
             ? ErrorCode{kSuccess}
             : ::GetLastError();
}

bool pathExists(std::u16string_view path) {
  return fileAttributes(path) != kInvalidAttributes;
}

bool isFolder(std::u16string_view path) {
  const uint32_t attributes = fileAttributes(path);
  return attributes != kInvalidAttributes && (attributes & kAttrFolder) != 0;
}

uint64_t fileLastWriteTime(std::u16string_view path) {
  if (path.empty() || path.find(u'\0') != path.npos) return 0;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(systemPath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

bool isValidFileName(std::u16string_view name) {
  if (name.empty() || name.size() > 255 || name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c < 32 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos) {
      return false;
    }
  }
  if (name.back() == u' ' || name.back() == u'.') return false;
  // Device names are reserved with any extension: "CON", "nul.txt", "COM1.log".
  std::u16string base(name.substr(0, name.find(u'.')));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  for (char16_t& c : base) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  static constexpr std::u16string_view kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (std::u16string_view device : kDevices) {
    if (base == device) return false;
  }
  if (base.size() == 4 && (base.starts_with(u"COM") || base.starts_with(u"LPT")) &&
      base[3] >= u'1' && base[3] <= u'9') {
    return false;
  }
  return true;
}

}  // namespace crvl::platform
