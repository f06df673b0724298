// The local primitives on Windows: FindFirstFileExW listings, attributes with
// compression, CopyFileExW with progress, delete-on-close deletion and mappings.
#include "platform/local_fs.h"

#include <windows.h>
#include <shellapi.h>
#include <winioctl.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "engine/path_forms.h"
#include "platform/temporary_files.h"
#include "platform/win32/long_paths.h"

namespace crvl::platform {
namespace {

std::wstring longPath(std::u16string_view path) { return longSystemPath(path); }

uint64_t toUint64(const FILETIME& t) noexcept {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME toFileTime(uint64_t v) noexcept {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(v);
  t.dwHighDateTime = static_cast<DWORD>(v >> 32);
  return t;
}

// The error of a failed file open.
ErrorCode openError(std::u16string_view path) {
  const DWORD e = ::GetLastError();
  switch (e) {
    case 0:
    case ERROR_INVALID_MENU_HANDLE: return kErrorAccessDenied;
    case kErrorVirusInfected: return kErrorReadFault;
    case ERROR_CANCELLED: return kErrorRequestAborted;
    case ERROR_NOT_READY:
      return ::GetFileAttributesW(longPath(path).c_str()) == INVALID_FILE_ATTRIBUTES ? kErrorFileNotFound
                                                                                       : kErrorNotReady;
    default: return e;
  }
}

class Handle {
 public:
  explicit Handle(HANDLE h) noexcept : h_(h) {}
  ~Handle() {
    if (valid()) ::CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  [[nodiscard]] bool valid() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  [[nodiscard]] HANDLE get() const noexcept { return h_; }
  HANDLE release() noexcept {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE h_;
};

// Owns a find handle (FindClose).
class FindHandle {
 public:
  explicit FindHandle(HANDLE h) noexcept : h_(h) {}
  ~FindHandle() {
    if (valid()) ::FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  [[nodiscard]] bool valid() const noexcept { return h_ != INVALID_HANDLE_VALUE; }
  [[nodiscard]] HANDLE get() const noexcept { return h_; }
  void reset(HANDLE h) noexcept {
    if (valid()) ::FindClose(h_);
    h_ = h;
  }

 private:
  HANDLE h_;
};

// Large-fetch basic listings until the system refuses them once with 87.
std::atomic<bool> g_useBasicListing{true};

// Fills `info` from any of the system's records that carry the attributes, the size in
// two halves and the three times (find data, attribute data, handle information).
template <typename SystemRecord>
void entryInfo(const SystemRecord& data, LocalEntryInfo* info) {
  info->attributes = data.dwFileAttributes;
  info->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->creationTime = toUint64(data.ftCreationTime);
  info->lastAccessTime = toUint64(data.ftLastAccessTime);
  info->lastWriteTime = toUint64(data.ftLastWriteTime);
}

ErrorCode mapListingError(DWORD e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NO_MORE_FILES: return 0;
    case 0:
    case ERROR_INVALID_MENU_HANDLE: return kErrorPathNotFound;
    case kErrorVirusInfected: return kErrorReadFault;
    case ERROR_CANCELLED: return kErrorRequestAborted;
    default: return e;
  }
}

ErrorCode shellOperation(UINT function, std::u16string_view from, std::u16string_view to, FILEOP_FLAGS flags);

ErrorCode shellDelete(std::u16string_view path) {
  return shellOperation(FO_DELETE, path, {}, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
}

}  // namespace

ErrorCode enumerateLocalFolder(std::u16string_view folder, LocalEntryVisitor visitor, void* data) {
  std::u16string pattern(folder);
  if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/') pattern.push_back(u'\\');
  pattern += u"*.*";
  const std::wstring wide = longPath(pattern);
  WIN32_FIND_DATAW found;
  FindHandle find(INVALID_HANDLE_VALUE);
  if (g_useBasicListing.load()) {
    find.reset(::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                  FIND_FIRST_EX_LARGE_FETCH));
    if (!find.valid()) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_INVALID_PARAMETER) g_useBasicListing.store(false);
      if (e == 0 || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_MENU_HANDLE) return kErrorPathNotFound;
      if (e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES) return 0;
    }
  }
  if (!find.valid()) {
    find.reset(::FindFirstFileW(wide.c_str(), &found));
    if (!find.valid()) return mapListingError(::GetLastError());
  }
  for (;;) {
    const wchar_t* name = found.cFileName;
    const bool dots = (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
    if (!dots) {
      LocalEntryInfo info;
      entryInfo(found, &info);
      const char16_t* alternative = found.cAlternateFileName[0] != 0
                                        ? reinterpret_cast<const char16_t*>(found.cAlternateFileName)
                                        : nullptr;
      const std::u16string_view view(reinterpret_cast<const char16_t*>(name), std::wcslen(name));
      if (visitor(data, view, info, alternative) != 0) return 0;
    }
    if (!::FindNextFileW(find.get(), &found)) {
      // Only the end of the folder ends a listing well; anything else leaves it
      // incomplete, and an incomplete listing must never pass for the folder's content.
      const DWORD e = ::GetLastError();
      if (e == ERROR_NO_MORE_FILES) return 0;
      return e == 0 ? ErrorCode{kErrorReadFault} : mapListingError(e);
    }
  }
}

ErrorCode queryLocalEntry(std::u16string_view path, LocalEntryInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(longPath(path).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD e = ::GetLastError();
    return e == 0 ? ErrorCode{kErrorFileNotFound} : ErrorCode{e};
  }
  entryInfo(data, info);
  return 0;
}

uint32_t localAttributes(std::u16string_view path) {
  return ::GetFileAttributesW(longPath(path).c_str());
}

ErrorCode setLocalAttributes(std::u16string_view path, uint32_t attributes) {
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

namespace {
// Whether the system's path parsing would change the last name of `path`: a name that
// ends in a space or a dot loses them unless the path is in the "\\?\" form.
bool nameWouldBeAltered(std::u16string_view path, std::u16string_view passed) noexcept {
  if (passed.starts_with(u"\\\\?\\")) return false;
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.remove_suffix(1);
  if (path.empty()) return false;
  return path.back() == u' ' || path.back() == u'.';
}
}  // namespace

ErrorCode setLocalTimes(std::u16string_view path, uint64_t creation, uint64_t lastAccess, uint64_t lastWrite) {
  const std::wstring p = longPath(path);
  // Times are never set on another entry than the one named.
  if (nameWouldBeAltered(path, std::u16string_view(reinterpret_cast<const char16_t*>(p.data()), p.size()))) {
    return kErrorInvalidName;
  }
  const DWORD found = ::GetFileAttributesW(p.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return kErrorFileNotFound;
  bool cleared = false;
  HANDLE raw = ::CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

ErrorCode createLocalFolder(std::u16string_view path) {
  if (path.empty()) return kErrorInvalidParameter;
  if (::CreateDirectoryW(longPath(path).c_str(), nullptr)) return 0;
  const DWORD e = ::GetLastError();
  if (e == ERROR_BAD_PATHNAME && path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' &&
      path.substr(2).find(u'\\') == std::u16string_view::npos) {
    return 0;  // a server name alone
  }
  return e;
}

ErrorCode removeLocalFolder(std::u16string_view path) {
  std::u16string trimmed(path);
  if (!trimmed.empty() && (trimmed.back() == u'\\' || trimmed.back() == u'/')) trimmed.pop_back();
  if (trimmed.empty()) return kErrorInvalidParameter;
  const std::wstring p = longPath(trimmed);
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

ErrorCode deleteLocalFile(std::u16string_view path) {
  const std::wstring p = longPath(path);
  const DWORD attributes = ::GetFileAttributesW(p.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
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
    HANDLE h = ::CreateFileW(p.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h);
      return 0;
    }
    r = openError(path);
    if (r == 2 || r == 3 || r == 4 || r == 21) return r;
    const DWORD now = ::GetFileAttributesW(p.c_str());
    if (now == INVALID_FILE_ATTRIBUTES) return kErrorFileNotFound;
    if (attempt > 0 || (now & FILE_ATTRIBUTE_READONLY) == 0) break;
    ::SetFileAttributesW(p.c_str(), now & ~FILE_ATTRIBUTE_READONLY);
  }
  return shellDelete(path);
}

ErrorCode moveLocalEntry(std::u16string_view oldPath, std::u16string_view newPath) {
  if (::MoveFileExW(longPath(oldPath).c_str(), longPath(newPath).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return ::GetLastError();
}

void leaveCurrentFolder() {
  wchar_t windows[MAX_PATH + 1];
  const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return;
  const std::u16string root = rootOf(std::u16string_view(reinterpret_cast<const char16_t*>(windows), n));
  if (!root.empty()) ::SetCurrentDirectoryW(reinterpret_cast<const wchar_t*>(root.c_str()));
}

namespace {
ErrorCode shellOperation(UINT function, std::u16string_view from, std::u16string_view to, FILEOP_FLAGS flags) {
  std::wstring source = longPath(from);
  source.push_back(L'\0');  // each list ends with two zeros
  std::wstring target;
  if (function != FO_DELETE) {
    target = longPath(to);
    target.push_back(L'\0');
  }
  SHFILEOPSTRUCTW op{};
  op.wFunc = function;
  op.pFrom = source.c_str();
  op.pTo = function != FO_DELETE ? target.c_str() : nullptr;
  op.fFlags = flags;
  ::SetLastError(0);
  const int r = ::SHFileOperationW(&op);
  if (op.fAnyOperationsAborted) return kErrorRequestAborted;
  if (r == 0) return 0;
  const DWORD e = ::GetLastError();
  if (e == 0 || e == ERROR_INVALID_MENU_HANDLE) return r >= 35 ? kErrorAccessDenied : static_cast<ErrorCode>(r);
  if (e == kErrorVirusInfected) return kErrorReadFault;
  if (e == ERROR_CANCELLED) return kErrorRequestAborted;
  return e;
}
}  // namespace

ErrorCode recycleLocalFile(std::u16string_view path) {
  return shellOperation(FO_DELETE, path, {}, FOF_ALLOWUNDO | FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
}

ErrorCode shellRenameLocal(std::u16string_view oldPath, std::u16string_view newPath) {
  return shellOperation(FO_RENAME, oldPath, newPath, FOF_SILENT | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI);
}

uint32_t setProcessErrorMode(uint32_t mode) noexcept { return ::SetErrorMode(mode); }

bool systemCopyAvailable() noexcept { return true; }

namespace {
struct CopyState {
  CopyChunkCallback callback;
  void* context;
  BOOL cancel;
  DWORD stream;
  uint64_t done;
};

DWORD CALLBACK copyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER streamDone,
                            DWORD streamNumber, DWORD, HANDLE, HANDLE, LPVOID data) {
  auto* state = static_cast<CopyState*>(data);
  if (streamNumber > 1) return PROGRESS_CONTINUE;  // only the first data stream counts
  if (state->stream != streamNumber) {
    state->stream = streamNumber;
    state->done = 0;
  }
  const uint64_t total = static_cast<uint64_t>(streamDone.QuadPart);
  const uint64_t delta = total >= state->done ? total - state->done : 0;
  state->done = total;
  if (state->callback != nullptr && state->callback(state->context, delta) != 0) {
    state->cancel = TRUE;
    return PROGRESS_CANCEL;
  }
  return PROGRESS_CONTINUE;
}
}  // namespace

ErrorCode systemCopyFile(std::u16string_view source, std::u16string_view target, CopyChunkCallback callback,
                         void* context) {
  CopyState state{callback, context, FALSE, 0, 0};
  if (::CopyFileExW(longPath(source).c_str(), longPath(target).c_str(), &copyProgress, &state, &state.cancel,
                    COPY_FILE_FAIL_IF_EXISTS)) {
    return 0;
  }
  const DWORD e = ::GetLastError();
  if (state.cancel || e == ERROR_REQUEST_ABORTED) return kErrorRequestAborted;
  return e;
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

void LocalStream::close() noexcept {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

namespace {
ErrorCode openStream(std::u16string_view path, DWORD access, DWORD disposition, intptr_t* handle) {
  // Reading shares deletion, so that a copy never blocks a replacement of its source.
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (access == GENERIC_READ ? FILE_SHARE_DELETE : 0);
  HANDLE h = ::CreateFileW(longPath(path).c_str(), access, sharing, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return openError(path);
  *handle = reinterpret_cast<intptr_t>(h);
  return 0;
}
}  // namespace

ErrorCode LocalStream::openRead(std::u16string_view path) {
  close();
  return openStream(path, GENERIC_READ, OPEN_EXISTING, &handle_);
}

ErrorCode LocalStream::createTemporary(std::u16string_view path) {
  close();
  // No delete sharing: a sweeping run cannot delete the file while it is written.
  HANDLE h = ::CreateFileW(longPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, /*lpSecurityAttributes=*/nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, /*hTemplateFile=*/nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const ErrorCode e = openError(path);
    return e == ERROR_ALREADY_EXISTS ? ErrorCode{kErrorFileExists} : e;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return 0;
}

ErrorCode LocalStream::commitTemporary(std::u16string_view temporary, std::u16string_view target, bool replace,
                                       uint32_t attributes) {
  // The final attributes go on while the file is still ours; read-only waits until the
  // move is done (a read-only file cannot take the place of another).
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD final = attributes & kSettable;
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = (final & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) != 0
                             ? (final & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))
                             : FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), FileBasicInfo, &basic, sizeof basic)) {
    const ErrorCode e = ::GetLastError();
    close();
    return e;
  }
  close();
  const ErrorCode r = moveIntoPlace(temporary, target, replace);
  if (r == 0 && (final & FILE_ATTRIBUTE_READONLY) != 0) (void)::SetFileAttributesW(longPath(target).c_str(), final);
  return r;
}

ErrorCode LocalStream::openReadWrite(std::u16string_view path) {
  close();
  return openStream(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, &handle_);
}

ErrorCode LocalStream::info(LocalEntryInfo* out) const {
  BY_HANDLE_FILE_INFORMATION data;
  if (!::GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), &data)) return ::GetLastError();
  entryInfo(data, out);
  return 0;
}

ErrorCode LocalStream::read(void* buffer, size_t size, size_t* done) {
  DWORD n = 0;
  const DWORD wanted = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, wanted, &n, nullptr)) return ::GetLastError();
  *done = n;
  return 0;
}

ErrorCode LocalStream::write(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    DWORD n = 0;
    const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle_), p, piece, &n, nullptr)) return ::GetLastError();
    if (n == 0) return kErrorWriteFault;
    p += n;
    size -= n;
  }
  return 0;
}

ErrorCode LocalStream::copyFrom(LocalStream& source, void* buffer, size_t size, size_t* done) {
  const ErrorCode r = source.read(buffer, size, done);
  if (r != 0 || *done == 0) return r;
  return write(buffer, *done);
}

ErrorCode LocalStream::setTimes(uint64_t creation, uint64_t lastAccess, uint64_t lastWrite) {
  const FILETIME c = toFileTime(creation), a = toFileTime(lastAccess), w = toFileTime(lastWrite);
  if (!::SetFileTime(reinterpret_cast<HANDLE>(handle_), creation != 0 ? &c : nullptr, lastAccess != 0 ? &a : nullptr,
                     lastWrite != 0 ? &w : nullptr)) {
    return ::GetLastError();
  }
  return 0;
}

ErrorCode LocalStream::copyPermissions(const LocalStream&) { return 0; }

ErrorCode LocalStream::truncate() {
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  if (::SetFilePointer(h, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER && ::GetLastError() != 0) {
    return ::GetLastError();
  }
  return ::SetEndOfFile(h) ? 0 : ::GetLastError();
}

ErrorCode LocalStream::seekStart() {
  if (::SetFilePointer(reinterpret_cast<HANDLE>(handle_), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      ::GetLastError() != 0) {
    return ::GetLastError();
  }
  return 0;
}

ReadOnlyMapping::~ReadOnlyMapping() {
  if (data_ != nullptr) ::UnmapViewOfFile(data_);
  if (mapping_ != 0) ::CloseHandle(reinterpret_cast<HANDLE>(mapping_));
  if (file_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(file_));
}

ErrorCode ReadOnlyMapping::map(std::u16string_view path) {
  Handle file(::CreateFileW(longPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return openError(path);
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) return ::GetLastError();
  size_ = static_cast<uint64_t>(size.QuadPart);
  if (size_ == 0) {
    file_ = reinterpret_cast<intptr_t>(file.release());
    return 0;
  }
  Handle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
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
