// Listings on POSIX: getdents64 on the folder descriptor, each entry examined with
// statx relative to it.
#include "platform/listings.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "platform/posix/entry_stat.h"

namespace crvl::platform {

using posix::Descriptor;

namespace {

// Bytes of directory records fetched per listing call.
constexpr size_t kListingBufferSize = 65536;

// A listed name as wide text; plain ASCII names (the usual case) are widened in place
// without building a temporary string.
void storeName(const char* raw, std::u16string& out) {
  const size_t length = std::strlen(raw);
  bool ascii = true;
  for (size_t i = 0; i < length; ++i) ascii &= static_cast<unsigned char>(raw[i]) < 0x80;
  if (!ascii) {
    out = fromSystemBytes(std::string_view(raw, length));
    return;
  }
  out.resize(length);
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<char16_t>(raw[i]);
}

}  // namespace

ErrorCode enumerateLocalFolder(std::u16string_view folder, LocalEntryVisitor visitor, void* data,
                               FolderIdentity* listed) {
  std::string path;
  if (!posix::nativePath(folder, path)) return kErrorInvalidName;
  Descriptor fd(::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int err = errno;
    if (err == ENOENT) return kErrorPathNotFound;
    if (err == ENOTDIR) {
      // The path names a file, or a file stands where a folder above it should be.
      struct stat st;
      return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) ? kErrorDirectory : kErrorPathNotFound;
    }
    return mapErrno(err);
  }
  if (listed != nullptr) {
    // The folder that is listed, by its descriptor: no second walk of the path, and no
    // gap in which another folder could take the path's place.
    *listed = FolderIdentity{};
    struct stat st;
    if (::fstat(fd.get(), &st) == 0) {
      *listed = FolderIdentity{true, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    }
  }
  // The listing is read straight from the descriptor the entries are looked up
  // against (no second descriptor and directory stream per folder).
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kListingBufferSize]);
  if (!buffer) return kErrorNotEnoughMemory;
  std::u16string name;  // reused for every entry
  for (;;) {
    const ssize_t filled = ::getdents64(fd.get(), buffer.get(), kListingBufferSize);
    if (filled < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      // A folder removed while it is listed leaves the listing incomplete.
      if (err == ENOENT) return kErrorReadFault;
      return mapErrno(err);
    }
    if (filled == 0) return 0;
    for (ssize_t at = 0; at < filled;) {
      dirent64 entry;  // the header is copied out: records need not be aligned
      std::memcpy(&entry, buffer.get() + at, offsetof(dirent64, d_name));
      const char* raw = buffer.get() + at + offsetof(dirent64, d_name);
      at += entry.d_reclen;
      if (entry.d_reclen == 0) return kErrorInvalidData;
      if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) continue;
      LocalEntryInfo info;
      if (const int err = posix::statEntry(fd.get(), raw, raw, &info); err != 0) {
        if (err == ENOENT) continue;  // removed between the listing and its examination
        // Any other failure (no search permission, an I/O error) leaves this listing
        // incomplete, and an incomplete listing must never pass for the folder's content.
        return mapErrno(err);
      }
      storeName(raw, name);
      if (visitor(data, name, info, nullptr) != 0) return 0;
    }
  }
}

ErrorCode enumerateServerShares(std::u16string_view, LocalEntryVisitor, void*) { return kErrorNotSupported; }

}  // namespace crvl::platform
