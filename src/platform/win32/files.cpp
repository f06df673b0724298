// The file API on Windows: the W functions with long paths, attributes with
// compression, delete-on-close deletion and read-only mappings.
#include "platform/files.h"

#include <windows.h>
#include <shellapi.h>
#include <winioctl.h>

#include <algorithm>
#include <string>

#include "platform/paths.h"
#include "platform/shell_files.h"
#include "platform/temporary_files.h"
#include "platform/win32/file_system.h"

namespace crvl::platform {

using win32::entryInfo;
using win32::longPath;
using win32::openError;
using win32::toFileTime;

namespace {

constexpr size_t kChunk = size_t{16} << 20;  // largest single read or write
// CreateDirectoryW stops at 248 characters, before the general limit of 260.
constexpr size_t kFolderLongPathFrom = 248;
// An entry that leads to another one and cannot be deleted as itself is left alone.
constexpr ErrorCode kErrorLeadsElsewhere = ERROR_CANT_ACCESS_FILE;

using Handle = UniqueFile;

HANDLE asHandle(intptr_t h) noexcept { return reinterpret_cast<HANDLE>(h); }

std::wstring asWide(const std::u16string& text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

// As longPath, but in the long form from the shorter folder limit on.
std::wstring folderSystemPath(std::u16string_view path) {
  if (path.size() < kFolderLongPathFrom || path.size() >= kLongPathThreshold || path.starts_with(u"\\\\?\\")) {
    return longPath(path);
  }
  std::u16string out(path);
  std::replace(out.begin(), out.end(), u'/', u'\\');
  if (out.size() >= 3 && out[1] == u':' && out[2] == u'\\') return asWide(u"\\\\?\\" + out);
  if (out.starts_with(u"\\\\") && out[2] != u'\\') return asWide(u"\\\\?\\UNC" + out.substr(1));
  return asWide(out);
}


// The shared separator test on the W functions' characters.
bool wideSeparator(wchar_t c) noexcept { return isAnySeparator(static_cast<char16_t>(c)); }

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
  } else if (p.size() >= 2 && wideSeparator(p[0]) && wideSeparator(p[1])) {
    start = 2;
    unc = true;
  }
  if (unc) {
    size_t pos = start;  // past the server and share names
    for (int part = 0; part < 2 && pos < p.size(); ++part) {
      while (pos < p.size() && !wideSeparator(p[pos])) ++pos;
      if (pos < p.size()) ++pos;
    }
    return pos;
  }
  if (p.size() >= start + 2 && p[start + 1] == L':') {
    return (p.size() > start + 2 && wideSeparator(p[start + 2])) ? start + 3 : start + 2;
  }
  if (p.size() > start && wideSeparator(p[start])) return start + 1;
  return start;
}

// Whether the system's path parsing would change the last name of `path`: a name that
// ends in a space or a dot loses them unless the path is in the "\\?\" form.
bool nameWouldBeAltered(std::u16string_view path, std::u16string_view passed) noexcept {
  if (passed.starts_with(u"\\\\?\\")) return false;
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.remove_suffix(1);
  if (path.empty()) return false;
  return path.back() == u' ' || path.back() == u'.';
}

std::wstring finalPath(HANDLE h) {
  std::wstring out(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    if (n == 0) return {};
    if (n < out.size()) {
      out.resize(n);
      return out;
    }
    out.assign(n + 1, L'\0');
  }
  return {};
}

bool sameText(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

Handle openItself(const std::wstring& native) {
  return Handle(::CreateFileW(native.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool sameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

std::wstring withoutTrailingDotsAndSpaces(std::wstring text) {
  while (!text.empty() && (text.back() == L'.' || text.back() == L' ')) text.pop_back();
  return text;
}

}  // namespace

// The handle opened on the entry must lead to the entry itself: its final path is its
// folder's final path and its own name. Some systems (Wine) follow a file link whatever
// the flags and mark no reparse point; such an entry is reported as leading elsewhere.
ErrorCode entryReach(std::u16string_view path, EntryReach* out) {
  *out = EntryReach::Itself;
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  std::u16string trimmed(path);
  while (trimmed.size() > 3 && (trimmed.back() == u'\\' || trimmed.back() == u'/')) trimmed.pop_back();
  const std::wstring native = longPath(trimmed);
  Handle entry = openItself(native);
  if (!entry.valid()) return openError(trimmed);
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (::GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    *out = EntryReach::Link;
    return 0;
  }
  std::u16string folder(trimmed);
  if (!parentOf(folder) || folder.empty()) return 0;  // a root is no link
  Handle parent(::CreateFileW(longPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::wstring reached = finalPath(entry.get());
  std::wstring expected = parent.valid() ? finalPath(parent.get()) : std::wstring();
  if (reached.empty() || expected.empty()) return 0;  // nothing to compare: the mark decides
  if (!wideSeparator(expected.back())) expected.push_back(L'\\');
  expected += asWide(std::u16string(fileNameOf(trimmed)));
  if (sameText(reached, expected)) return 0;
  // Wine shows a name without its trailing dots and spaces; that is the entry itself
  // unless the shown name opens the very same file (a link to it).
  if (sameText(withoutTrailingDotsAndSpaces(reached), withoutTrailingDotsAndSpaces(expected))) {
    const Handle shown = openItself(reached);
    if (!shown.valid() || !sameFile(shown.get(), entry.get())) return 0;
  }
  *out = EntryReach::Elsewhere;
  return 0;
}

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
    if (!::WriteFile(asHandle(handle_), p, piece, &written, /*lpOverlapped=*/nullptr)) return ::GetLastError();
    if (written == 0) return kErrorWriteFault;
    p += written;
    size -= written;
  }
  return kSuccess;
}

ErrorCode File::copyFrom(File& source, void* buffer, size_t size, size_t* done) noexcept {
  const ErrorCode r = source.read(buffer, size, done);
  if (r != 0 || *done == 0) return r;
  return write(buffer, *done);
}

ErrorCode File::cloneFrom(const File&) noexcept { return kErrorNotSupported; }

ErrorCode File::seekToEnd() noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(asHandle(handle_), zero, /*lpNewFilePointer=*/nullptr, FILE_END) ? ErrorCode{kSuccess}
                                                                                            : ::GetLastError();
}

ErrorCode File::seekStart() noexcept {
  if (!isOpen()) return kErrorInvalidHandle;
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(asHandle(handle_), zero, /*lpNewFilePointer=*/nullptr, FILE_BEGIN) ? ErrorCode{kSuccess}
                                                                                              : ::GetLastError();
}

ErrorCode File::truncate() noexcept {
  if (const ErrorCode r = seekStart(); r != 0) return r;
  return ::SetEndOfFile(asHandle(handle_)) ? ErrorCode{kSuccess} : ::GetLastError();
}

ErrorCode File::size(uint64_t* bytes) const noexcept {
  *bytes = 0;
  if (!isOpen()) return kErrorInvalidHandle;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(asHandle(handle_), &size)) return ::GetLastError();
  *bytes = static_cast<uint64_t>(size.QuadPart);
  return kSuccess;
}

ErrorCode File::info(LocalEntryInfo* out) const noexcept {
  BY_HANDLE_FILE_INFORMATION data;
  if (!::GetFileInformationByHandle(asHandle(handle_), &data)) return ::GetLastError();
  entryInfo(data, out);
  return 0;
}

ErrorCode File::setTimes(uint64_t creation, uint64_t lastAccess, uint64_t lastWrite) noexcept {
  const FILETIME c = toFileTime(creation), a = toFileTime(lastAccess), w = toFileTime(lastWrite);
  if (!::SetFileTime(asHandle(handle_), creation != 0 ? &c : nullptr, lastAccess != 0 ? &a : nullptr,
                     lastWrite != 0 ? &w : nullptr)) {
    return ::GetLastError();
  }
  return 0;
}

ErrorCode File::copyPermissions(const File&) noexcept { return 0; }

ErrorCode File::commitTemporary(std::u16string_view temporary, std::u16string_view target, bool replace,
                                uint32_t attributes) noexcept {
  // The final attributes go on while the file is still ours; read-only waits until the
  // move is done (a read-only file cannot take the place of another).
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD final = attributes & kSettable;
  const DWORD writable = final & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileInformationByHandle(asHandle(handle_), FileBasicInfo, &basic, sizeof basic)) {
    const ErrorCode e = ::GetLastError();
    close();
    return e;
  }
  close();
  ErrorCode r = kErrorNotEnoughMemory;
  try {
    r = moveIntoPlace(temporary, target, replace);
    if (r == 0 && (final & FILE_ATTRIBUTE_READONLY) != 0) (void)::SetFileAttributesW(longPath(target).c_str(), final);
  } catch (...) {
  }
  return r;
}

// Windows has no file without a name: copies write a named temporary file.
ErrorCode File::commitUnnamed(std::u16string_view) noexcept {
  close();
  return kErrorNotSupported;
}

ErrorCode openUnnamedFile(std::u16string_view, File* file) {
  file->close();
  return kErrorNotSupported;
}

ErrorCode openFile(std::u16string_view path, OpenMode mode, File* file) {
  file->close();
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (path.empty()) return kErrorPathNotFound;
  const std::wstring native = longPath(path);
  DWORD access = GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
  switch (mode) {
    case OpenMode::Read:
      access = GENERIC_READ;
      // Readers share deletion too: a file that is replaced by a rename while it is read
      // must not make the replacement fail.
      sharing |= FILE_SHARE_DELETE;
      break;
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
    case OpenMode::Temporary:
      // No delete sharing: a sweeping run cannot delete the file while it is written.
      disposition = CREATE_NEW;
      attributes = FILE_ATTRIBUTE_HIDDEN;
      sharing = FILE_SHARE_READ;
      break;
  }
  const HANDLE h = ::CreateFileW(native.c_str(), access, sharing, /*lpSecurityAttributes=*/nullptr, disposition,
                                 attributes, /*hTemplateFile=*/nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const ErrorCode e = openError(path);
    return e == ERROR_ALREADY_EXISTS ? ErrorCode{kErrorFileExists} : e;
  }
  File opened(reinterpret_cast<intptr_t>(h));
  if (mode == OpenMode::Read || mode == OpenMode::ReadWrite) {
    // Only a disk file is read: a device or pipe name never opens as one.
    if (::GetFileType(h) != FILE_TYPE_DISK) return kErrorNotSupported;
  }
  *file = std::move(opened);
  return kSuccess;
}

ErrorCode queryEntry(std::u16string_view path, LocalEntryInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (!::GetFileAttributesExW(longPath(path).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD e = ::GetLastError();
    return e == 0 ? ErrorCode{kErrorFileNotFound} : ErrorCode{e};
  }
  entryInfo(data, info);
  return 0;
}

uint32_t fileAttributes(std::u16string_view path) {
  if (path.empty() || path.find(u'\0') != path.npos) return kInvalidAttributes;
  return ::GetFileAttributesW(longPath(path).c_str());
}

ErrorCode setFileAttributes(std::u16string_view path, uint32_t attributes) {
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (path.empty()) return kErrorPathNotFound;
  const std::wstring p = longPath(path);
  const DWORD current = ::GetFileAttributesW(p.c_str());
  if (current == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
  if (((current ^ attributes) & FILE_ATTRIBUTE_COMPRESSED) != 0) {
    Handle h(::CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid()) return openError(path);
    USHORT format = static_cast<USHORT>((attributes & FILE_ATTRIBUTE_COMPRESSED) != 0 ? COMPRESSION_FORMAT_DEFAULT
                                                                                  : COMPRESSION_FORMAT_NONE);
    DWORD returned = 0;
    if (!::DeviceIoControl(h.get(), FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0, &returned,
                           nullptr)) {
      return ::GetLastError();
    }
  }
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD wanted = attributes & kSettable;
  if ((current & kSettable) == wanted) return 0;
  if (!::SetFileAttributesW(p.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted)) return ::GetLastError();
  return 0;
}

ErrorCode setFileTimes(std::u16string_view path, uint64_t creation, uint64_t lastAccess, uint64_t lastWrite) {
  const std::wstring p = longPath(path);
  // Times are never set on another entry than the one named.
  if (nameWouldBeAltered(path, std::u16string_view(reinterpret_cast<const char16_t*>(p.data()), p.size()))) {
    return kErrorInvalidName;
  }
  const DWORD found = ::GetFileAttributesW(p.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return kErrorFileNotFound;
  bool cleared = false;
  HANDLE raw = ::CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (raw == INVALID_HANDLE_VALUE && (found & FILE_ATTRIBUTE_READONLY) != 0) {
    if (::SetFileAttributesW(p.c_str(), found & ~FILE_ATTRIBUTE_READONLY)) {
      cleared = true;
      raw = ::CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
  }
  ErrorCode r = 0;
  {
    Handle h(raw);
    if (!h.valid()) {
      r = openError(path);
    } else {
      const FILETIME c = toFileTime(creation), a = toFileTime(lastAccess), w = toFileTime(lastWrite);
      if (!::SetFileTime(h.get(), creation != 0 ? &c : nullptr, lastAccess != 0 ? &a : nullptr,
                         lastWrite != 0 ? &w : nullptr)) {
        r = ::GetLastError();
      }
    }
  }
  if (cleared) ::SetFileAttributesW(p.c_str(), found);
  return r;
}

ErrorCode createFolder(std::u16string_view path) {
  if (path.empty()) return kErrorInvalidParameter;
  if (isReservedDeviceName(fileNameOf(path))) return kErrorInvalidName;  // never a device's name
  if (::CreateDirectoryW(folderSystemPath(path).c_str(), nullptr)) return 0;
  const DWORD e = ::GetLastError();
  if (e == ERROR_BAD_PATHNAME && path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' &&
      path.substr(2).find(u'\\') == std::u16string_view::npos) {
    return 0;  // a server name alone
  }
  return e;
}

ErrorCode createFolderChain(std::u16string_view path) {
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (isReservedDeviceName(fileNameOf(path))) return kErrorInvalidName;
  std::wstring native = folderSystemPath(path);
  while (native.size() > 1 && wideSeparator(native.back())) native.pop_back();
  if (native.empty()) return kErrorPathNotFound;
  const size_t root = rootLength(native);
  size_t pos = root;
  for (;;) {
    size_t cut = pos;
    while (cut < native.size() && !wideSeparator(native[cut])) ++cut;
    if (cut > pos) {
      const std::wstring part = native.substr(0, cut);
      if (!::CreateDirectoryW(part.c_str(), /*lpSecurityAttributes=*/nullptr)) {
        const DWORD err = ::GetLastError();
        const DWORD now = ::GetFileAttributesW(part.c_str());
        if (now == INVALID_FILE_ATTRIBUTES || (now & FILE_ATTRIBUTE_DIRECTORY) == 0) {
          return err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ? ErrorCode{kErrorAlreadyExists} : err;
        }
      }
    }
    if (cut >= native.size()) return kSuccess;
    pos = cut + 1;
  }
}

ErrorCode removeFolder(std::u16string_view path) {
  std::u16string trimmed(path);
  if (!trimmed.empty() && (trimmed.back() == u'\\' || trimmed.back() == u'/')) trimmed.pop_back();
  if (trimmed.empty()) return kErrorInvalidParameter;
  const std::wstring p = longPath(trimmed);
  EntryReach reach = EntryReach::Itself;
  if (entryReach(trimmed, &reach) == 0 && reach == EntryReach::Elsewhere) return kErrorLeadsElsewhere;
  if (::RemoveDirectoryW(p.c_str())) return 0;
  DWORD e = ::GetLastError();
  if (e == ERROR_ACCESS_DENIED) {
    ::SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    if (::RemoveDirectoryW(p.c_str())) return 0;
    e = ::GetLastError();
  } else if (e == ERROR_SHARING_VIOLATION) {
    leaveCurrentFolder();
    if (::RemoveDirectoryW(p.c_str())) return 0;
    e = ::GetLastError();
  }
  return e;
}

ErrorCode deleteFile(std::u16string_view path) {
  if (path.find(u'\0') != path.npos) return kErrorInvalidName;
  if (path.empty()) return kErrorPathNotFound;
  const std::wstring p = longPath(path);
  const DWORD attributes = ::GetFileAttributesW(p.c_str());
  EntryReach reach = EntryReach::Itself;
  if (attributes != INVALID_FILE_ATTRIBUTES && entryReach(path, &reach) == 0 && reach == EntryReach::Elsewhere) {
    return kErrorLeadsElsewhere;  // every delete call would reach what it leads to
  }
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || reach == EntryReach::Link)) {
    // A link is deleted itself; opening it would reach what it points to.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ::RemoveDirectoryW(p.c_str()) ? 0 : ::GetLastError();
    return ::DeleteFileW(p.c_str()) ? 0 : ::GetLastError();
  }
  // Never a folder: the shell fallback below would take the whole tree with it.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return kErrorAccessDenied;
  }
  // Delete on close; the file is not truncated first, so other hard links keep their data.
  constexpr DWORD kFlags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_NORMAL;
  ErrorCode r = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Handle h(::CreateFileW(p.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, kFlags, nullptr));
    if (h.valid()) return 0;
    r = openError(path);
    if (r == 2 || r == 3 || r == 4 || r == 21) return r;
    const DWORD now = ::GetFileAttributesW(p.c_str());
    if (now == INVALID_FILE_ATTRIBUTES) return kErrorFileNotFound;
    if (attempt > 0 || (now & FILE_ATTRIBUTE_READONLY) == 0) break;
    ::SetFileAttributesW(p.c_str(), now & ~FILE_ATTRIBUTE_READONLY);
  }
  return win32::shellOperation(FO_DELETE, path, {}, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
}

ErrorCode moveEntry(std::u16string_view oldPath, std::u16string_view newPath) {
  if (::MoveFileExW(longPath(oldPath).c_str(), longPath(newPath).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return ::GetLastError();
}

ErrorCode freeDiskSpace(std::u16string_view path, uint64_t* bytes) {
  const std::u16string root = rootOf(path);
  ULARGE_INTEGER totalFree;
  if (!::GetDiskFreeSpaceExW(reinterpret_cast<const wchar_t*>((root.empty() ? std::u16string(path) : root).c_str()),
                             nullptr, nullptr, &totalFree)) {
    return ::GetLastError();
  }
  *bytes = totalFree.QuadPart;
  return 0;
}

ErrorCode fileIdentity(std::u16string_view path, uint64_t* volume, uint64_t* fileId) {
  Handle h(::CreateFileW(longPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) return openError(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h.get(), &info)) return ::GetLastError();
  *volume = info.dwVolumeSerialNumber;
  *fileId = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return 0;
}

uint64_t fileLastWriteTime(std::u16string_view path) {
  LocalEntryInfo info;
  return queryEntry(path, &info) == 0 ? info.lastWriteTime : 0;
}

bool isValidFileName(std::u16string_view name) {
  if (name.empty() || name.size() > 255 || name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c < 32 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos) return false;
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
  if (base.size() == 4 && (base.starts_with(u"COM") || base.starts_with(u"LPT")) && base[3] >= u'1' &&
      base[3] <= u'9') {
    return false;
  }
  return true;
}

ReadOnlyMapping::~ReadOnlyMapping() {
  if (data_ != nullptr) ::UnmapViewOfFile(data_);
  if (mapping_ != 0) ::CloseHandle(reinterpret_cast<HANDLE>(mapping_));
  if (file_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(file_));
}

ErrorCode ReadOnlyMapping::map(std::u16string_view path) {
  Handle file(::CreateFileW(longPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return openError(path);
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return kErrorNotSupported;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) return ::GetLastError();
  size_ = static_cast<uint64_t>(size.QuadPart);
  if (size_ == 0) {
    file_ = reinterpret_cast<intptr_t>(file.release());
    return 0;
  }
  UniqueKernelHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.valid()) {
    size_ = 0;
    return ::GetLastError();
  }
  const void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    size_ = 0;
    return ::GetLastError();
  }
  data_ = static_cast<const uint8_t*>(view);
  mapping_ = reinterpret_cast<intptr_t>(mapping.release());
  file_ = reinterpret_cast<intptr_t>(file.release());
  return 0;
}

}  // namespace crvl::platform
