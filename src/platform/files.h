// Whole-file and simple file-system operations used by the settings, job files, logs
// and language files. Every path is UTF-16; on Windows paths of 260 characters or more
// are given the long form first. The engine's local provider has its own, richer
// primitives (local_fs.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

// Windows file attributes (POSIX: folder, read-only from the owner write bit, hidden
// for names beginning with '.', archive for files).
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
  // Moves to the end of the file (for appending).
  [[nodiscard]] ErrorCode seekToEnd() noexcept;
  // The size of the file in bytes.
  [[nodiscard]] ErrorCode size(uint64_t* bytes) const noexcept;

  // The system handle or descriptor, for the platform layer's own use.
  [[nodiscard]] intptr_t native() const noexcept { return handle_; }
  explicit File(intptr_t handle) noexcept : handle_(handle) {}

 private:
  intptr_t handle_ = -1;
};

enum class OpenMode {
  Read,            // existing file, read access, read and write sharing
  ReadWrite,       // existing file, read and write access, read and write sharing
  CreateAlways,    // create or truncate for writing, keeping hidden and system attributes
  OpenOrCreate,    // open for writing or create when missing (appending logs)
  CreateNew,       // create for writing; fails with 80 when the file exists
};

// Opens `path` in the given mode. On failure `*file` stays closed. A folder never opens
// as a file (5); a missing file gives 2, a missing folder above it 3; a path holding a
// NUL character gives 123 on both systems.
[[nodiscard]] ErrorCode openFile(std::u16string_view path, OpenMode mode, File* file);

// Reads the whole file into `out` (replacing its contents).
[[nodiscard]] ErrorCode readWholeFile(std::u16string_view path, std::string& out);

// Creates or truncates `path` and writes `bytes` in pieces of at most 16 MiB. A
// read-only attribute is cleared first; hidden and system attributes are kept.
[[nodiscard]] ErrorCode writeWholeFile(std::u16string_view path, std::string_view bytes);

// Deletes a file (not a folder).
[[nodiscard]] ErrorCode deleteFile(std::u16string_view path);

// Creates the folder and every missing folder above it. An existing folder is success;
// a file in the way gives 183.
[[nodiscard]] ErrorCode createFolderChain(std::u16string_view path);

// Copies a file, overwriting the target (CopyFileW; POSIX: contents, mode and times).
// Copying a file onto itself fails and leaves it unchanged.
[[nodiscard]] ErrorCode copyFile(std::u16string_view source, std::u16string_view target);

// Attributes of a file or folder, or kInvalidAttributes when it cannot be read.
[[nodiscard]] uint32_t fileAttributes(std::u16string_view path);

// Sets the attributes of a file or folder (read-only and hidden where the system has them).
[[nodiscard]] ErrorCode setFileAttributes(std::u16string_view path, uint32_t attributes);

// Whether a file or folder exists at `path`.
[[nodiscard]] bool pathExists(std::u16string_view path);

// Whether `path` names an existing folder.
[[nodiscard]] bool isFolder(std::u16string_view path);

// The last write time of a file as FILETIME, 0 when it cannot be read.
[[nodiscard]] uint64_t fileLastWriteTime(std::u16string_view path);

// Whether a file name is valid on this system (no reserved characters or names).
[[nodiscard]] bool isValidFileName(std::u16string_view name);

}  // namespace crvl::platform
