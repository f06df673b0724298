// The file-system interface: a process-wide table of 30 provider slots, each a plain
// record of operation entries. Slot 0 is the local file system, slot 1 the plug-in
// root, slots 2 to 29 are filled by the plug-in binding. Every call into a slot goes
// through the guarded helpers below, which catch anything a provider throws.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/entry_list.h"
#include "platform/errors.h"

namespace crvl {

enum ProviderKind : int32_t {
  kProviderFree = 0,
  kProviderLocal = 1,
  kProviderPluginRoot = 2,
  kProviderPlugin = 3,
  kProviderFilling = 4,  // taken by the plug-in binding, not yet filled
};

using ProviderCapabilities = int32_t;
inline constexpr ProviderCapabilities kCapDirectContents = 0x2;  // contents readable locally
inline constexpr ProviderCapabilities kLocalExtraCapabilities = 0x1C001A;

inline constexpr int32_t kProviderSlotCount = 30;
inline constexpr size_t kHandlePathChars = 1024;

// What `enumerate` hands its consumer for each entry. Pointers are valid only during
// the consumer call; `name` is zero-terminated.
struct FindRecord {
  const char16_t* folderPath = nullptr;  // the folder being enumerated, zero-terminated
  EntryBlock block;
  const char16_t* alternativeName = nullptr;  // 8.3 name or display text, or null
  const char16_t* name = nullptr;
  size_t nameLength = 0;  // characters of `name` without the terminator
};

// Answers 0 to go on, non-zero to stop the enumeration.
using EnumerateConsumer = int32_t (*)(void* data, const FindRecord& entry);

// Progress of a copy or deletion. kind 3: `data` points to a uint64_t with the bytes
// done since the previous report; kind 6: `data` is a zero-terminated text that
// becomes the run's error text. Answers non-zero to cancel.
inline constexpr int32_t kProgressBytes = 3;
inline constexpr int32_t kProgressText = 6;
using ProgressCallback = int32_t (*)(int32_t kind, const void* data, intptr_t reserved,
                                     void* context);

// Flags of getFile and putFile. Without kCopyOverwrite the copy adds a new entry and
// fails with 80 when one of that name exists meanwhile; with it an existing target file
// is replaced.
inline constexpr uint32_t kCopyOverwrite = 0x1;

// An open handle on a slot: the slot index, the owner and the current path. The slot
// that opened a handle frees it in its `release` entry; plug-in slots may allocate a
// larger record that begins with this one.
struct ProviderHandle {
  int32_t slotIndex = -1;
  void* owner = nullptr;
  std::u16string path;  // at most kHandlePathChars characters
};

struct FileSystemProvider;

// The operation entries, in table order. Any may be null: its guarded call then answers
// 50 or the neutral value given with the helper.
struct ProviderOperations {
  void (*unload)(FileSystemProvider* slot);                                             // 1
  ProviderHandle* (*open)(FileSystemProvider* slot, void* owner, int32_t slotIndex,
                          const char16_t* path);                                        // 2
  void (*release)(FileSystemProvider* slot, ProviderHandle* handle);                   // 3
  ProviderCapabilities (*capabilities)(FileSystemProvider* slot, ProviderHandle* handle);  // 4
  void* (*pathIcon)(FileSystemProvider* slot, const char16_t* path, int32_t size,
                    int32_t resourceId);                                                // 5
  int32_t (*entryIcon)(FileSystemProvider* slot, const char16_t* path, uint32_t attributes,
                       int32_t size, void* imageList);                                  // 6
  ErrorCode (*rootName)(FileSystemProvider* slot, ProviderHandle* handle, char16_t* out,
                        uint32_t capacity);                                             // 7
  ErrorCode (*translatePath)(FileSystemProvider* slot, ProviderHandle* handle,
                             const char16_t* path, char16_t* out, uint32_t capacity);   // 8
  ErrorCode (*displayPath)(FileSystemProvider* slot, ProviderHandle* handle, char16_t* out,
                           uint32_t capacity);                                          // 9
  ErrorCode (*changeFolder)(FileSystemProvider* slot, ProviderHandle* handle,
                            const char16_t* target);                                    // 10
  int32_t (*isFolderPath)(FileSystemProvider* slot, ProviderHandle* handle,
                          const char16_t* path);                                        // 11
  ErrorCode (*enumerate)(FileSystemProvider* slot, ProviderHandle* handle,
                         const char16_t* folder, EnumerateConsumer consumer,
                         void* data);                                                   // 12
  // Attributes, or 0xFFFFFFFF when absent; fills `block` when given.
  uint32_t (*getAttributes)(FileSystemProvider* slot, ProviderHandle* handle,
                            const char16_t* path, EntryBlock* block);                   // 13
  ErrorCode (*setAttributes)(FileSystemProvider* slot, ProviderHandle* handle,
                             const char16_t* path, uint32_t attributes);                // 14
  ErrorCode (*setTimes)(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path,
                        uint64_t creation, uint64_t lastAccess, uint64_t lastWrite);    // 15
  ErrorCode (*rename)(FileSystemProvider* slot, ProviderHandle* handle,
                      const char16_t* oldPath, const char16_t* newPath);               // 16
  ErrorCode (*copy)(FileSystemProvider* slot, ProviderHandle* source, ProviderHandle* target,
                    const char16_t* sourcePath, const char16_t* targetPath,
                    const EntryBlock* sourceBlock, ProgressCallback progress,
                    void* data);                                                        // 17
  ErrorCode (*getFile)(FileSystemProvider* slot, ProviderHandle* handle,
                       const char16_t* sourcePath, const char16_t* localTarget,
                       const EntryBlock* sourceBlock, uint32_t flags,
                       ProgressCallback progress, void* data);                          // 18
  ErrorCode (*putFile)(FileSystemProvider* slot, ProviderHandle* handle,
                       const char16_t* localSource, const char16_t* targetPath,
                       const EntryBlock* sourceBlock, uint32_t flags,
                       ProgressCallback progress, void* data);                          // 19
  // mode 0 delete, 1 to the recycle bin, 2 overwrite then delete.
  ErrorCode (*deleteFile)(FileSystemProvider* slot, ProviderHandle* handle,
                          const char16_t* path, int32_t mode, ProgressCallback progress,
                          void* data);                                                  // 20
  ErrorCode (*removeFolder)(FileSystemProvider* slot, ProviderHandle* handle,
                            const char16_t* path);                                      // 21
  ErrorCode (*makeFolder)(FileSystemProvider* slot, ProviderHandle* handle,
                          const char16_t* path);                                        // 22
  ErrorCode (*properties)(FileSystemProvider* slot, void* window, const char16_t* path);  // 23
  ErrorCode (*sendCommand)(FileSystemProvider* slot, ProviderHandle* handle,
                           const char16_t* command);                                    // 24
  ErrorCode (*entry25)(FileSystemProvider* slot, ProviderHandle* handle,
                       const char16_t* path);                                           // 25
  ErrorCode (*shellItem)(FileSystemProvider* slot, ProviderHandle* handle,
                         const char16_t* path, void* shellFolder, void** out);          // 26
  int32_t (*finish)(FileSystemProvider* slot, ProviderHandle* handle, int32_t flag1,
                    int32_t flag2);                                                     // 27
};

// One slot of the table.
struct FileSystemProvider {
  int32_t kind = kProviderFree;
  const char16_t* name = nullptr;  // how paths address the slot; null for the local provider
  int32_t prefixLength = 0;        // three separators and the name
  int32_t openCount = 0;
  ProviderOperations ops{};
  void* context = nullptr;  // the filler's own data (a plug-in record, a test fixture)
};

struct ProviderTable {
  std::array<FileSystemProvider, kProviderSlotCount> slots{};
};

// The process-wide table.
[[nodiscard]] ProviderTable& providerTable() noexcept;

// Clears every slot and runs the built-in slot initialisers in order (slot 0 local,
// slot 1 plug-in root, named `pluginRootName`, or "\\\" when that is empty).
void initializeProviderTable(ProviderTable& table, std::u16string_view pluginRootName);

// The derived capability bits of a slot, from which entries it has filled.
[[nodiscard]] ProviderCapabilities derivedCapabilities(const FileSystemProvider& slot) noexcept;

// Asked once per failed lookup to register the configured plug-ins; may be null.
using PluginRegistrationHook = void (*)(ProviderTable& table);
void setPluginRegistrationHook(PluginRegistrationHook hook) noexcept;
// Called by the plug-in root's `open` and by lookups; does nothing without a hook.
void registerPlugins(ProviderTable& table);

// The slot for a path, or -1: a slot whose root name equals the path's root; a slot
// whose name equals the first component after three leading separators; the local
// provider for drive paths, "\\server" paths (POSIX: absolute paths); after a miss the
// plug-ins are registered once and the lookup repeats.
[[nodiscard]] int32_t findProviderSlot(ProviderTable& table, std::u16string_view path);

// Opens a handle on the slot for `path` (or, when `kind` is not kProviderFree, on the
// first slot of that kind) after removing the slot's prefix from the path; counts it
// in the slot's open count. Null when no slot fits or `open` refuses.
[[nodiscard]] ProviderHandle* openProviderHandle(ProviderTable& table, std::u16string_view path,
                                                 void* owner,
                                                 ProviderKind kind = kProviderFree);

// Uncounts the handle and gives it back to the slot's `release` (always: a handle not
// given back would never be freed; `force` is kept for callers that state the intent).
// A null handle is ignored.
void releaseProviderHandle(ProviderTable& table, ProviderHandle* handle, bool force = false);

// Releases a handle when it goes out of scope.
class ScopedProviderHandle {
 public:
  ScopedProviderHandle() noexcept = default;
  ScopedProviderHandle(ProviderTable& table, ProviderHandle* handle) noexcept
      : table_(&table), handle_(handle) {}
  ScopedProviderHandle(ScopedProviderHandle&& other) noexcept
      : table_(other.table_), handle_(other.handle_) {
    other.handle_ = nullptr;
  }
  ScopedProviderHandle& operator=(ScopedProviderHandle&& other) noexcept;
  ScopedProviderHandle(const ScopedProviderHandle&) = delete;
  ScopedProviderHandle& operator=(const ScopedProviderHandle&) = delete;
  ~ScopedProviderHandle() { reset(); }
  [[nodiscard]] ProviderHandle* get() const noexcept { return handle_; }
  void reset() noexcept;

 private:
  ProviderTable* table_ = nullptr;
  ProviderHandle* handle_ = nullptr;
};

// The slot of a handle in the process-wide table, or null for a null handle or an
// index out of range.
[[nodiscard]] FileSystemProvider* slotOf(const ProviderHandle* handle) noexcept;

// Guarded calls. Each answers 50 when the slot or the entry is missing or the entry
// throws; 1246 is returned as 0. getAttributes answers 0xFFFFFFFF and capabilities and
// finish answer 0 in those cases.
[[nodiscard]] ProviderCapabilities callCapabilities(FileSystemProvider* slot, ProviderHandle* h) noexcept;
[[nodiscard]] ErrorCode callRootName(FileSystemProvider* slot, ProviderHandle* h,
                                     std::u16string& out) noexcept;
[[nodiscard]] ErrorCode callTranslatePath(FileSystemProvider* slot, ProviderHandle* h,
                                          std::u16string_view path, std::u16string& out) noexcept;
[[nodiscard]] ErrorCode callEnumerate(FileSystemProvider* slot, ProviderHandle* h,
                                      std::u16string_view folder, EnumerateConsumer consumer,
                                      void* data) noexcept;
[[nodiscard]] uint32_t callGetAttributes(FileSystemProvider* slot, ProviderHandle* h,
                                         std::u16string_view path, EntryBlock* block) noexcept;
[[nodiscard]] ErrorCode callSetAttributes(FileSystemProvider* slot, ProviderHandle* h,
                                          std::u16string_view path, uint32_t attributes) noexcept;
[[nodiscard]] ErrorCode callSetTimes(FileSystemProvider* slot, ProviderHandle* h,
                                     std::u16string_view path, uint64_t creation,
                                     uint64_t lastAccess, uint64_t lastWrite) noexcept;
[[nodiscard]] ErrorCode callRename(FileSystemProvider* slot, ProviderHandle* h,
                                   std::u16string_view oldPath, std::u16string_view newPath) noexcept;
[[nodiscard]] ErrorCode callGetFile(FileSystemProvider* slot, ProviderHandle* h,
                                    std::u16string_view source, std::u16string_view localTarget,
                                    const EntryBlock* block, uint32_t flags,
                                    ProgressCallback progress, void* data) noexcept;
[[nodiscard]] ErrorCode callPutFile(FileSystemProvider* slot, ProviderHandle* h,
                                    std::u16string_view localSource, std::u16string_view target,
                                    const EntryBlock* block, uint32_t flags,
                                    ProgressCallback progress, void* data) noexcept;
[[nodiscard]] ErrorCode callDeleteFile(FileSystemProvider* slot, ProviderHandle* h,
                                       std::u16string_view path, int32_t mode,
                                       ProgressCallback progress, void* data) noexcept;
[[nodiscard]] ErrorCode callRemoveFolder(FileSystemProvider* slot, ProviderHandle* h,
                                         std::u16string_view path) noexcept;
[[nodiscard]] ErrorCode callMakeFolder(FileSystemProvider* slot, ProviderHandle* h,
                                       std::u16string_view path) noexcept;
[[nodiscard]] int32_t callFinish(FileSystemProvider* slot, ProviderHandle* h, int32_t flag1,
                                 int32_t flag2) noexcept;

}  // namespace crvl
