// The local file-system primitives of the engine's local provider: enumeration,
// attributes, times, folders, deletion, renaming, file streams for copying, free space,
// file identity and read-only mappings. Every path is UTF-16; on Windows paths of 260
// characters or more are given the long form first. Results are Windows error codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

// The attributes, size and times of one entry (times as FILETIME).
struct LocalEntryInfo {
  uint32_t attributes = 0;
  uint64_t size = 0;
  uint64_t creationTime = 0;
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  // Neither a file, a folder nor a link to one (POSIX: a FIFO, socket or device, or a
  // link to one). Such entries are never opened, copied, compared or deleted.
  bool special = false;
};

// Windows attributes kept in listings: read-only, hidden, system, folder, archive,
// reparse point, compressed, encrypted.
inline constexpr uint32_t kListedAttributeMask = 0x4C37;

// Called for each entry of a listing except "." and ".."; `name` is zero-terminated
// (name.data()[name.size()] == 0), `alternativeName` is the 8.3 name or null. Answers
// non-zero to stop. On POSIX a symbolic link reports its target's type, size and times
// (its own when dangling) with the reparse-point bit 0x400 added.
using LocalEntryVisitor = int32_t (*)(void* data, std::u16string_view name,
                                      const LocalEntryInfo& info, const char16_t* alternativeName);

// Lists a folder. An empty folder is 0; a missing folder is 3; a path that names a file
// is 267. A listing that breaks off, or an entry that cannot be examined, fails the whole
// listing with that error (entries already visited were handed out): only an entry that
// vanished between the listing and its examination is passed over.
[[nodiscard]] ErrorCode enumerateLocalFolder(std::u16string_view folder, LocalEntryVisitor visitor,
                                             void* data);

// Lists the disk shares of a server (`server` is "\\name", a trailing separator
// allowed) as folders with zero size and times; administrative shares ("C$") are left
// out. Windows: NetShareEnum of netapi32, loaded from the system folder at run time;
// non-zero when the server cannot be asked. POSIX: 50, there are no servers.
[[nodiscard]] ErrorCode enumerateServerShares(std::u16string_view server, LocalEntryVisitor visitor,
                                              void* data);

// The entry at `path` (without following a final link on POSIX, except for its type
// and times as in listings). Missing: 2 or 3.
[[nodiscard]] ErrorCode queryLocalEntry(std::u16string_view path, LocalEntryInfo* info);

// Attributes of a path or 0xFFFFFFFF (GetFileAttributesW).
[[nodiscard]] uint32_t localAttributes(std::u16string_view path);

// Sets attributes (SetFileAttributesW; POSIX: read-only clears the write bits of a
// file, otherwise the owner write bit is given back; a folder is never made unwritable
// for its owner, so that copies into it go on working). On Windows a change of the
// compression bit 0x800 switches compression first.
[[nodiscard]] ErrorCode setLocalAttributes(std::u16string_view path, uint32_t attributes);

// Sets the times of a file or folder; a time of 0 is left unchanged. A read-only file
// has that bit (POSIX: the owner write bit) cleared for the change and given back after
// it. Missing: 2. Windows: a last name ending in a space or a dot, which the system's
// path parsing would drop, gives 123 before anything is opened.
[[nodiscard]] ErrorCode setLocalTimes(std::u16string_view path, uint64_t creation,
                                      uint64_t lastAccess, uint64_t lastWrite);

// Creates one folder (no parents). A server name alone ("\\server") counts as made.
[[nodiscard]] ErrorCode createLocalFolder(std::u16string_view path);

// Removes an empty folder (a trailing separator is dropped first; on access denied
// the attributes are reset and the removal retried once; on a sharing violation the
// current directory is moved away and the removal retried once). A link to a folder
// is removed as a link.
[[nodiscard]] ErrorCode removeLocalFolder(std::u16string_view path);

// Deletes a file (or link) and nothing it points to; a read-only file has that bit
// cleared first when needed. Missing: 2.
[[nodiscard]] ErrorCode deleteLocalFile(std::u16string_view path);

// Renames within one volume, replacing an existing target; 17 across volumes.
[[nodiscard]] ErrorCode moveLocalEntry(std::u16string_view oldPath, std::u16string_view newPath);

// Moves a file to the recycle bin (SHFileOperationW with undo). POSIX: 50.
[[nodiscard]] ErrorCode recycleLocalFile(std::u16string_view path);

// The shell's rename (SHFileOperationW FO_RENAME, silent, folders made without asking).
// POSIX: rename().
[[nodiscard]] ErrorCode shellRenameLocal(std::u16string_view oldPath, std::u16string_view newPath);

// Moves the process's current directory out of the way of a folder that is to be
// removed or renamed (Windows: the root of the Windows folder's drive; POSIX: "/").
void leaveCurrentFolder();

// Sets the process error mode (SetErrorMode) and returns the previous one; mode 1 makes
// critical errors fail silently instead of asking the user. POSIX: nothing, 0.
uint32_t setProcessErrorMode(uint32_t mode) noexcept;

// Whether the system has a copy routine with progress (CopyFileExW); POSIX copies with
// the stream copy.
[[nodiscard]] bool systemCopyAvailable() noexcept;

// Answers non-zero to cancel; `bytes` is the count since the previous call.
using CopyChunkCallback = int32_t (*)(void* context, uint64_t bytes);

// The system copy (CopyFileExW; first data stream only counted) onto a new file: an
// existing target fails the copy (80). A cancelled copy gives 1235. POSIX: 50.
[[nodiscard]] ErrorCode systemCopyFile(std::u16string_view source, std::u16string_view target,
                                       CopyChunkCallback callback, void* context);

// Total free bytes of the volume holding `path`.
[[nodiscard]] ErrorCode freeDiskSpace(std::u16string_view path, uint64_t* bytes);

// The volume and file identity of a file or folder (following links).
[[nodiscard]] ErrorCode fileIdentity(std::u16string_view path, uint64_t* volume, uint64_t* fileId);

// An open file for the stream copy. Move-only; closes on destruction.
class LocalStream {
 public:
  LocalStream() noexcept = default;
  LocalStream(LocalStream&& other) noexcept;
  LocalStream& operator=(LocalStream&& other) noexcept;
  LocalStream(const LocalStream&) = delete;
  LocalStream& operator=(const LocalStream&) = delete;
  ~LocalStream();

  // Opens an existing file for reading (read and write sharing). Only regular files
  // open (POSIX: a FIFO or device gives 50 and is never waited on).
  [[nodiscard]] ErrorCode openRead(std::u16string_view path);
  // Creates a new temporary file (see temporary_files.h) for writing: exclusively (80 or
  // 183 when the name is taken), POSIX mode 0600 and an exclusive lock held until the
  // stream closes, Windows hidden and without delete sharing.
  [[nodiscard]] ErrorCode createTemporary(std::u16string_view path);
  // Moves the temporary file this stream is writing (`temporary`, created by
  // createTemporary) onto `target` as moveIntoPlace does, and closes the stream. The
  // file's data and times must be complete. `attributes` are the target's final
  // attributes (Windows; POSIX has them in the mode already). On failure the stream is
  // closed and the temporary file is left for the caller to delete.
  [[nodiscard]] ErrorCode commitTemporary(std::u16string_view temporary, std::u16string_view target,
                                          bool replace, uint32_t attributes);
  // Opens an existing file for reading and writing.
  [[nodiscard]] ErrorCode openReadWrite(std::u16string_view path);

  [[nodiscard]] bool isOpen() const noexcept { return handle_ != -1; }
  void close() noexcept;

  // Size and times of the open file.
  [[nodiscard]] ErrorCode info(LocalEntryInfo* out) const;
  [[nodiscard]] ErrorCode read(void* buffer, size_t size, size_t* done);
  [[nodiscard]] ErrorCode write(const void* data, size_t size);
  // Moves the next piece from `source`'s position to this file's position: up to `size`
  // bytes through `buffer`, or, where the system copies in the kernel
  // (copy_file_range), up to 8 MiB when `size` is a full 256 KiB buffer. `*done` is the
  // number of bytes moved, 0 at the end of the source.
  [[nodiscard]] ErrorCode copyFrom(LocalStream& source, void* buffer, size_t size, size_t* done);
  // Sets the times of the open file (0 leaves a time unchanged).
  [[nodiscard]] ErrorCode setTimes(uint64_t creation, uint64_t lastAccess, uint64_t lastWrite);
  // POSIX: gives this file the permission bits of `source` without the set-user-ID,
  // set-group-ID and sticky bits (and, for root, its owner and group); Windows: nothing.
  [[nodiscard]] ErrorCode copyPermissions(const LocalStream& source);
  [[nodiscard]] ErrorCode truncate();
  [[nodiscard]] ErrorCode seekStart();

 private:
  intptr_t handle_ = -1;
};

// A read-only view of a whole file. A file of size 0 maps with no view.
class ReadOnlyMapping {
 public:
  ReadOnlyMapping() noexcept = default;
  ReadOnlyMapping(const ReadOnlyMapping&) = delete;
  ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;
  ~ReadOnlyMapping();

  [[nodiscard]] ErrorCode map(std::u16string_view path);
  [[nodiscard]] const uint8_t* data() const noexcept { return data_; }
  [[nodiscard]] uint64_t size() const noexcept { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
  intptr_t file_ = -1;
  intptr_t mapping_ = 0;
};

}  // namespace crvl::platform
