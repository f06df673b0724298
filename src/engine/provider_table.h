// The file-system interface: a table of 30 provider slots, each a plain record of
// operation entries. Slot 0 is the local file system, slot 1 the plug-in root, slots 2
// to 29 are filled by the plug-in binding. Every call into a slot goes through the
// guarded helpers below, which catch anything a provider throws.
//
// Threads: runs, the scheduler and the shell use one table at once. Looking a slot up,
// opening a handle on it, and filling or clearing slots (plug-in registration and
// unloading) take the table's lock; open counts are atomic; calls through an open
// handle take no lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/entry_list.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace crvl {

enum ProviderKind : int32_t {
  kProviderFree = 0,
  kProviderLocal = 1,
  kProviderPluginRoot = 2,
  kProviderPlugin = 3,
  kProviderFilling = 4,  // taken by the plug-in binding, not yet filled
};

// The capability bits a slot reports. Most follow from which operation entries the slot
// fills (derivedCapabilities); the local provider adds kLocalExtraCapabilities.
using ProviderCapabilities = int32_t;
inline constexpr ProviderCapabilities kCapDirectContents = 0x2;  // contents readable locally
inline constexpr ProviderCapabilities kCapMakeFolder = 0x4;
inline constexpr ProviderCapabilities kCapSendCommand = 0x20;
inline constexpr ProviderCapabilities kCapPluginEntry = 0x40;
inline constexpr ProviderCapabilities kCapRename = 0x80;
inline constexpr ProviderCapabilities kCapGetFile = 0x100;
inline constexpr ProviderCapabilities kCapPutFile = 0x400;
inline constexpr ProviderCapabilities kCapCopy = 0x1000;
inline constexpr ProviderCapabilities kCapDeleteFile = 0x2000 | 0x4000;
inline constexpr ProviderCapabilities kCapSetAttributes = 0x8000;
inline constexpr ProviderCapabilities kCapSetTimes = 0x10000;
inline constexpr ProviderCapabilities kCapEntryIcons = 0x20000;
inline constexpr ProviderCapabilities kLocalExtraCapabilities = 0x1C001A;

inline constexpr int32_t kProviderSlotCount = 30;
// Paths of plug-in handles hold at most kHandlePathChars characters; local handles
// as many as the system takes (os::kMaxSystemPathChars). Longer paths are refused
// with kErrorFilenameExcedRange, never cut.
inline constexpr size_t kHandlePathChars = 1024;

// What `enumerate` hands its consumer for each entry. Pointers are valid only during
// the consumer call; `name` is zero-terminated.
struct FindRecord {
  const char16_t* folderPath = nullptr;  // the folder being enumerated, zero-terminated
  EntryBlock block;
  const char16_t* alternativeName = nullptr;  // 8.3 name or display text, or null
  const char16_t* name = nullptr;
  size_t nameLength = 0;  // characters of `name` without the terminator
  // The identity of the folder being enumerated as the listing opened it, when the
  // provider knows it (the local one on POSIX); null otherwise.
  const platform::FolderIdentity* folderIdentity = nullptr;
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

struct FileSystemProvider;
struct ProviderHandle;
class ProviderTable;

// The operation entries, in table order (plug-ins fill them in this order too). Any
// may be null: its guarded call then answers 50 or the neutral value given with it.
struct ProviderOperations {
  void (*unload)(FileSystemProvider* slot);
  ProviderHandle* (*open)(FileSystemProvider* slot, void* owner, int32_t slotIndex,
                          const char16_t* path);
  void (*release)(FileSystemProvider* slot, ProviderHandle* handle);
  ProviderCapabilities (*capabilities)(FileSystemProvider* slot, ProviderHandle* handle);
  void* (*pathIcon)(FileSystemProvider* slot, const char16_t* path, int32_t size,
                    int32_t resourceId);
  int32_t (*entryIcon)(FileSystemProvider* slot, const char16_t* path, uint32_t attributes,
                       int32_t size, void* imageList);
  ErrorCode (*rootName)(FileSystemProvider* slot, ProviderHandle* handle, char16_t* out,
                        uint32_t capacity);
  ErrorCode (*translatePath)(FileSystemProvider* slot, ProviderHandle* handle,
                             const char16_t* path, char16_t* out, uint32_t capacity);
  ErrorCode (*displayPath)(FileSystemProvider* slot, ProviderHandle* handle, char16_t* out,
                           uint32_t capacity);
  ErrorCode (*changeFolder)(FileSystemProvider* slot, ProviderHandle* handle,
                            const char16_t* target);
  int32_t (*isFolderPath)(FileSystemProvider* slot, ProviderHandle* handle,
                          const char16_t* path);
  ErrorCode (*enumerate)(FileSystemProvider* slot, ProviderHandle* handle,
                         const char16_t* folder, EnumerateConsumer consumer,
                         void* data);
  // Attributes, or 0xFFFFFFFF when absent; fills `block` when given.
  uint32_t (*getAttributes)(FileSystemProvider* slot, ProviderHandle* handle,
                            const char16_t* path, EntryBlock* block);
  ErrorCode (*setAttributes)(FileSystemProvider* slot, ProviderHandle* handle,
                             const char16_t* path, uint32_t attributes);
  ErrorCode (*setTimes)(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path,
                        uint64_t creation, uint64_t lastAccess, uint64_t lastWrite);
  ErrorCode (*rename)(FileSystemProvider* slot, ProviderHandle* handle,
                      const char16_t* oldPath, const char16_t* newPath);
  ErrorCode (*copy)(FileSystemProvider* slot, ProviderHandle* source, ProviderHandle* target,
                    const char16_t* sourcePath, const char16_t* targetPath,
                    const EntryBlock* sourceBlock, ProgressCallback progress,
                    void* data);
  ErrorCode (*getFile)(FileSystemProvider* slot, ProviderHandle* handle,
                       const char16_t* sourcePath, const char16_t* localTarget,
                       const EntryBlock* sourceBlock, uint32_t flags,
                       ProgressCallback progress, void* data);
  ErrorCode (*putFile)(FileSystemProvider* slot, ProviderHandle* handle,
                       const char16_t* localSource, const char16_t* targetPath,
                       const EntryBlock* sourceBlock, uint32_t flags,
                       ProgressCallback progress, void* data);
  // mode 0 delete, 1 to the recycle bin, 2 overwrite then delete.
  ErrorCode (*deleteFile)(FileSystemProvider* slot, ProviderHandle* handle,
                          const char16_t* path, int32_t mode, ProgressCallback progress,
                          void* data);
  ErrorCode (*removeFolder)(FileSystemProvider* slot, ProviderHandle* handle,
                            const char16_t* path);
  ErrorCode (*makeFolder)(FileSystemProvider* slot, ProviderHandle* handle,
                          const char16_t* path);
  ErrorCode (*properties)(FileSystemProvider* slot, void* window, const char16_t* path);
  ErrorCode (*sendCommand)(FileSystemProvider* slot, ProviderHandle* handle,
                           const char16_t* command);
  // The second entry that only plug-in slots may fill; the engine never calls it.
  ErrorCode (*pluginEntry)(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path);
  ErrorCode (*shellItem)(FileSystemProvider* slot, ProviderHandle* handle,
                         const char16_t* path, void* shellFolder, void** out);
  // The end of a top-level pair: `reserved` is always 0; `completed` is 1 after a run
  // that was not stopped, 0 after a stop.
  int32_t (*finish)(FileSystemProvider* slot, ProviderHandle* handle, int32_t reserved, int32_t completed);
};

// One slot of the table. Copying a slot copies its open count as it stands, and shares
// what it keeps alive.
struct FileSystemProvider {
  int32_t kind = kProviderFree;
  const char16_t* name = nullptr;  // how paths address the slot; null for the local provider
  int32_t prefixLength = 0;        // three separators and the name
  std::atomic<int32_t> openCount{0};
  ProviderOperations ops{};
  void* context = nullptr;         // the filler's own data (a plug-in record, a test fixture)
  ProviderTable* table = nullptr;  // the table that holds the slot
  // Shared ownership of `context` when the filler hands it over (a loaded plug-in): the
  // copy of the slot in every open handle holds it too, so clearing the slot frees it
  // only when the last handle on it is released.
  std::shared_ptr<void> keepAlive;

  FileSystemProvider() = default;
  FileSystemProvider(const FileSystemProvider& other) noexcept { *this = other; }
  FileSystemProvider& operator=(const FileSystemProvider& other) noexcept;
};

// An open handle on a slot: the slot index, the owner and the current path, the table
// the slot belongs to (set when the handle is opened through the table), and a copy of
// the slot as it was filled when the handle was opened or moved to it. Calls through
// the handle go to that copy: a slot that is cleared or filled again meanwhile (a
// plug-in list unloaded by another thread) changes nothing under them, and the copy
// keeps the slot's plug-in loaded until the handle is released. The slot that opened a
// handle frees it in its `release` entry; plug-in slots may allocate a larger record
// that begins with this one.
struct ProviderHandle {
  int32_t slotIndex = -1;
  void* owner = nullptr;
  std::u16string path;  // never longer than its slot takes (see kHandlePathChars)
  ProviderTable* table = nullptr;
  // What the slot keeps with the handle (a plug-in's cached listing), freed with it. A
  // handle may move between slots: each slot replaces what it does not recognise.
  std::shared_ptr<void> slotData;
  FileSystemProvider provider;  // the slot's copy (see above); only the handle's thread uses it
};

// Asked once per failed lookup to register the configured plug-ins (it fills slots
// through the table, under its lock).
struct PluginRegistration {
  void (*registerPlugins)(void* context, ProviderTable& table) = nullptr;
  void* context = nullptr;
};

class ScopedProviderHandle;

class ProviderTable {
 public:
  ProviderTable() noexcept;
  // Unloads every slot (unloadAll).
  ~ProviderTable();
  ProviderTable(const ProviderTable&) = delete;
  ProviderTable& operator=(const ProviderTable&) = delete;

  std::array<FileSystemProvider, kProviderSlotCount> slots{};

  // Calls `unload` on every slot that has it: plug-in slots give their modules back,
  // the local slot clears itself.
  void unloadAll() noexcept;

  // Clears every slot and runs the built-in slot initialisers in order (slot 0 local,
  // slot 1 plug-in root, named `pluginRootName`, or "\\\" when that is empty), with
  // critical-error dialogs off. Keeps the plug-in registration.
  void initialize(std::u16string_view pluginRootName);

  // The slot for a path, or -1: a slot whose root name equals the path's root; a slot
  // whose name equals the first component after three leading separators; the local
  // provider for drive paths, "\\server" paths (POSIX: absolute paths); after a miss
  // the plug-ins are registered once and the lookup repeats.
  [[nodiscard]] int32_t findSlot(std::u16string_view path);

  // Opens a handle on the slot for `path` (or, when `kind` is not kProviderFree, on the
  // first slot of that kind) after removing the slot's prefix from the path, and counts
  // it in the slot's open count. Empty when no slot fits or `open` refuses.
  [[nodiscard]] ScopedProviderHandle open(std::u16string_view path, void* owner,
                                          ProviderKind kind = kProviderFree);

  // Moves an open handle to slot `index` (the plug-in root changing into a plug-in and
  // back): its count goes with it and its copy of the slot becomes that slot's. The
  // slot record the caller reached the handle through is replaced: use slotOf after.
  void moveHandle(ProviderHandle& handle, int32_t index);

  // Uncounts a handle that is being released, on its slot when the slot still holds
  // what the handle was opened on (a slot cleared or filled again has its own count).
  void uncountHandle(const ProviderHandle& handle) noexcept;

  // Registers the configured plug-ins now (the plug-in root's `open` asks for it).
  void registerPlugins();
  void setPluginRegistration(const PluginRegistration& registration);

  // The lock over slot lookup and filling, for code that fills or clears slots.
  [[nodiscard]] std::recursive_mutex& lock() noexcept { return lock_; }

 private:
  [[nodiscard]] int32_t lookupOnce(std::u16string_view path);

  std::recursive_mutex lock_;
  std::u16string pluginRootName_;
  PluginRegistration registration_;
};

// Owns an open handle: uncounts it and gives it back to its slot's `release` (always:
// only the slot can free a handle) when it goes out of scope.
class ScopedProviderHandle {
 public:
  ScopedProviderHandle() noexcept = default;
  explicit ScopedProviderHandle(ProviderHandle* handle) noexcept : handle_(handle) {}
  ScopedProviderHandle(ScopedProviderHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  ScopedProviderHandle& operator=(ScopedProviderHandle&& other) noexcept;
  ScopedProviderHandle(const ScopedProviderHandle&) = delete;
  ScopedProviderHandle& operator=(const ScopedProviderHandle&) = delete;
  ~ScopedProviderHandle() { reset(); }
  [[nodiscard]] ProviderHandle* get() const noexcept { return handle_; }
  [[nodiscard]] explicit operator bool() const noexcept { return handle_ != nullptr; }
  void reset() noexcept;

 private:
  ProviderHandle* handle_ = nullptr;
};

// The derived capability bits of a slot, from which entries it has filled.
[[nodiscard]] ProviderCapabilities derivedCapabilities(const FileSystemProvider& slot) noexcept;

// The slot record of a handle opened through a table (its own copy, see
// ProviderHandle), or null for a null handle, a handle without a table or an index out
// of range.
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
[[nodiscard]] int32_t callFinish(FileSystemProvider* slot, ProviderHandle* h, int32_t reserved,
                                 int32_t completed) noexcept;

}  // namespace crvl
