// The file API of the program: one stream type, one reader and writer of attributes
// and times, folders, deletion, renaming, whole files, free space, file identity and
// read-only mappings. Every path is UTF-16; on Windows paths of 260 characters or more
// are given the long form first. Results are Windows error codes.
//
// Attributes are the Windows bits on both systems; on POSIX they are derived: 0x10 for
// a folder, 0x20 (archive) for everything else, 0x1 (read-only) when the owner write bit
// is clear, 0x2 (hidden) for names beginning with '.', and 0x400 (reparse point) for a
// symbolic link, which otherwise reports its target's type, size and times (its own
// when dangling).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

enum : uint32_t {
  kAttrReadOnly = 0x1,
  kAttrHidden = 0x2,
  kAttrSystem = 0x4,
  kAttrFolder = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kAttrTemporary = 0x100,
  kAttrReparsePoint = 0x400,
  kAttrCompressed = 0x800,
  kAttrOffline = 0x1000,
  kAttrEncrypted = 0x4000,
};
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Windows attributes kept in listings: read-only, hidden, system, folder, archive,
// reparse point, compressed, encrypted.
inline constexpr uint32_t kListedAttributeMask = 0x4C37;

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

enum class OpenMode {
  Read,          // an existing regular file, read access, read and write (and delete) sharing
  ReadWrite,     // an existing file, read and write access, read and write sharing
  CreateAlways,  // create or truncate for writing, keeping hidden and system attributes
  OpenOrCreate,  // open for writing or create when missing (appending logs)
  CreateNew,     // create for writing; 80 when the name is taken
  // A new temporary file (see temporary_files.h) for writing: exclusively (80 when the
  // name is taken); POSIX mode 0600 and an exclusive lock held until the file closes;
  // Windows hidden and without delete sharing.
  Temporary,
};

// An open file. Move-only; the destructor closes it.
class File {
 public:
  File() noexcept = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  [[nodiscard]] bool isOpen() const noexcept;
  void close() noexcept;

  // Reads up to `size` bytes; `*done` receives the count (0 at the end of the file).
  [[nodiscard]] ErrorCode read(void* buffer, size_t size, size_t* done) noexcept;
  // Writes all `size` bytes (in pieces of at most 16 MiB) or fails.
  [[nodiscard]] ErrorCode write(const void* data, size_t size) noexcept;
  // Moves the next piece from `source`'s position to this file's position: up to `size`
  // bytes through `buffer`, or, where the system copies in the kernel
  // (copy_file_range), up to 8 MiB when `size` is a full 256 KiB buffer. `*done` is the
  // number of bytes moved, 0 at the end of the source.
  [[nodiscard]] ErrorCode copyFrom(File& source, void* buffer, size_t size, size_t* done) noexcept;
  // Makes this new, empty file share the whole of `source`'s data with it where the file
  // system can (POSIX: FICLONE on btrfs, XFS and the like); 50 where it cannot, and the
  // caller copies instead.
  [[nodiscard]] ErrorCode cloneFrom(const File& source) noexcept;
  // The size a file opened with OpenMode::Read had when it was opened (POSIX); 0 when
  // not known, and then only a read that returns nothing tells the end.
  [[nodiscard]] uint64_t sizeWhenOpened() const noexcept { return openedSize_; }
  [[nodiscard]] ErrorCode seekToEnd() noexcept;
  [[nodiscard]] ErrorCode seekStart() noexcept;
  // Cuts the file to length 0.
  [[nodiscard]] ErrorCode truncate() noexcept;
  [[nodiscard]] ErrorCode size(uint64_t* bytes) const noexcept;
  // Size and times of the open file.
  [[nodiscard]] ErrorCode info(LocalEntryInfo* out) const noexcept;
  // Sets the times of the open file (0 leaves a time unchanged).
  [[nodiscard]] ErrorCode setTimes(uint64_t creation, uint64_t lastAccess, uint64_t lastWrite) noexcept;
  // POSIX: gives this file the permission bits of `source` without the set-user-ID,
  // set-group-ID and sticky bits (and, for root, its owner and group where they are not
  // the process's own already); Windows: nothing. A `source` opened with OpenMode::Read
  // is not asked again.
  [[nodiscard]] ErrorCode copyPermissions(const File& source) noexcept;
  // Moves the temporary file this file is writing (`temporary`, opened with
  // OpenMode::Temporary) onto `target` as moveIntoPlace does, and closes the file. The
  // data and times must be complete. `attributes` are the target's final attributes
  // (Windows; POSIX has them in the mode already). On failure the file is closed and
  // the temporary file is left for the caller to delete.
  [[nodiscard]] ErrorCode commitTemporary(std::u16string_view temporary, std::u16string_view target, bool replace,
                                          uint32_t attributes) noexcept;
  // Gives the unnamed file this file is writing (opened with openUnnamedFile) the name
  // `target`, and closes the file. The data, times and permissions must be complete: the
  // name appears with all of them at once. Never replaces an entry: 80 when the name is
  // taken. On failure the file is closed and nothing of it remains.
  [[nodiscard]] ErrorCode commitUnnamed(std::u16string_view target) noexcept;

  // The system handle or descriptor, for the platform layer's own use.
  [[nodiscard]] intptr_t native() const noexcept { return handle_; }
  explicit File(intptr_t handle) noexcept : handle_(handle) {}
  // What the open of a Read file found (POSIX), kept for copyPermissions and
  // sizeWhenOpened. For the platform layer's own use.
  void noteOpened(uint32_t mode, uint32_t owner, uint32_t group, uint64_t size) noexcept {
    openedMode_ = mode;
    openedOwner_ = owner;
    openedGroup_ = group;
    openedSize_ = size;
  }

 private:
  intptr_t handle_ = -1;
  uint32_t openedMode_ = 0;  // 0: not known
  uint32_t openedOwner_ = 0;
  uint32_t openedGroup_ = 0;
  uint64_t openedSize_ = 0;
};

// Opens a new file without a name in the folder of `target`, for writing, to be named
// `target` by File::commitUnnamed once complete (POSIX: O_TMPFILE, mode 0600). Until
// then no listing shows it, and a run that dies leaves nothing of it behind. 50 where
// the system or the folder's file system has no such files (Windows; some file
// systems), and the caller writes a named temporary file instead; 3 when the folder is
// missing.
[[nodiscard]] ErrorCode openUnnamedFile(std::u16string_view target, File* file);

// Opens `path` in the given mode. On failure `*file` stays closed. A folder never opens
// as a file (5); Read refuses FIFOs and devices (50) without waiting on them; a missing
// file gives 2, a missing folder above it 3; a path holding a NUL character gives 123.
[[nodiscard]] ErrorCode openFile(std::u16string_view path, OpenMode mode, File* file);

// Reads the whole file into `out` (replacing its contents).
[[nodiscard]] ErrorCode readWholeFile(std::u16string_view path, std::string& out);

// Makes `bytes` the contents of the file `path`, so that no reader ever sees a part of
// it: the bytes are written to a temporary file beside it, which is renamed over it.
// The old file's hidden and system attributes (Windows) and permission bits (POSIX;
// for root also its owner) go to the new file; a read-only old file is replaced and the
// new one is writable; a new file gets owner read and write only (POSIX). A missing
// folder is created (once, with its parents). A folder at `path` is never replaced (5).
// On failure the old file is exactly as it was and no temporary file is left. A link at
// `path` is replaced as an entry: the file it pointed to keeps its old text.
[[nodiscard]] ErrorCode writeWholeFile(std::u16string_view path, std::string_view bytes);

// Copies a file onto `target` through a temporary file renamed into place (contents,
// times, POSIX permissions); an existing target is replaced. Copying a file onto
// itself fails and leaves it unchanged; a missing target folder is not made.
[[nodiscard]] ErrorCode copyFile(std::u16string_view source, std::u16string_view target);

// The entry at `path` (without following a final link on POSIX, except for its type
// and times as above). Missing: 2 or 3.
[[nodiscard]] ErrorCode queryEntry(std::u16string_view path, LocalEntryInfo* info);

// Attributes of a path, or kInvalidAttributes when it cannot be read.
[[nodiscard]] uint32_t fileAttributes(std::u16string_view path);

// Sets attributes (SetFileAttributesW; POSIX: read-only clears the write bits of a
// file, otherwise the owner write bit is given back; a folder is never made unwritable
// for its owner, so that copies into it go on working; a link is left alone). On
// Windows a change of the compression bit 0x800 switches compression first.
[[nodiscard]] ErrorCode setFileAttributes(std::u16string_view path, uint32_t attributes);

// Sets the times of a file or folder; a time of 0 is left unchanged. A read-only file
// has that bit (POSIX: the owner write bit) cleared for the change and given back after
// it. Missing: 2. Windows: a last name ending in a space or a dot, which the system's
// path parsing would drop, gives 123 before anything is opened.
[[nodiscard]] ErrorCode setFileTimes(std::u16string_view path, uint64_t creation, uint64_t lastAccess,
                                     uint64_t lastWrite);

// Creates one folder (no parents). A server name alone ("\\server") counts as made.
[[nodiscard]] ErrorCode createFolder(std::u16string_view path);

// Creates the folder and every missing folder above it. An existing folder is success;
// a file in the way gives 183.
[[nodiscard]] ErrorCode createFolderChain(std::u16string_view path);

// Removes an empty folder (a trailing separator is dropped first; on access denied
// the attributes are reset and the removal retried once; on a sharing violation the
// current directory is moved away and the removal retried once). A link to a folder
// is removed as a link; an entry that leads elsewhere unmarked is left alone (1920).
[[nodiscard]] ErrorCode removeFolder(std::u16string_view path);

// Deletes a file (or link) and nothing it points to; a read-only file has that bit
// cleared first when needed. Never a folder (5). Missing: 2. An entry that leads to
// another one without being marked as a link is left alone (1920).
[[nodiscard]] ErrorCode deleteFile(std::u16string_view path);

// What the entry at `path` is when opened itself, without following a link.
enum class EntryReach : uint8_t {
  Itself,     // a plain file or folder
  Link,       // a link or reparse point: removed as an entry, never through
  Elsewhere,  // leads to another entry although nothing marks it as a link (a system that
              // follows links whatever is asked): it must be neither entered nor deleted
};

// Tells what `path` is (see EntryReach). Returns 0, or the error of opening the entry
// (2 or 3 when it is missing); `*out` is Itself on failure.
[[nodiscard]] ErrorCode entryReach(std::u16string_view path, EntryReach* out);

// Renames within one volume, replacing an existing target; 17 across volumes.
[[nodiscard]] ErrorCode moveEntry(std::u16string_view oldPath, std::u16string_view newPath);

// Total free bytes of the volume holding `path`.
[[nodiscard]] ErrorCode freeDiskSpace(std::u16string_view path, uint64_t* bytes);

// The volume and file identity of a file or folder (following links).
[[nodiscard]] ErrorCode fileIdentity(std::u16string_view path, uint64_t* volume, uint64_t* fileId);

// A folder's volume and file identity as a listing read it from the folder it opened;
// `known` false when the listing could not tell (see enumerateLocalFolder).
struct FolderIdentity {
  bool known = false;
  uint64_t volume = 0;
  uint64_t fileId = 0;
};

// Whether a file or folder exists at `path`.
[[nodiscard]] bool pathExists(std::u16string_view path);

// Whether `path` names an existing folder.
[[nodiscard]] bool isFolder(std::u16string_view path);

// The last write time of a file as FILETIME, 0 when it cannot be read.
[[nodiscard]] uint64_t fileLastWriteTime(std::u16string_view path);

// Whether a file name is valid on this system (no reserved characters or names).
[[nodiscard]] bool isValidFileName(std::u16string_view name);

// A read-only view of a whole regular file. A file of size 0 maps with no view.
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
