#include "engine/provider_table.h"

#include <atomic>

#include "engine/local_provider.h"
#include "engine/plugin_root.h"
#include "os_traits.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/shell_files.h"

namespace crvl {
namespace {

bool isLocalPath(std::u16string_view path) noexcept {
  if (platform::isDrivePath(path)) return true;
  const size_t separators = platform::leadingSeparators(path);
  if (separators == 2 && path.size() > 2) return true;
  // POSIX: every absolute path that is not a plug-in path ("///name").
  if constexpr (!os::kDrivePaths) {
    return separators >= 1 && separators < 3;
  }
  return false;
}

template <typename Result, typename Call>
Result guarded(Result fallback, Call&& call) noexcept {
  try {
    return call();
  } catch (...) {
    return fallback;
  }
}

ErrorCode normalised(ErrorCode code) noexcept { return code == kErrorContinue ? 0 : code; }

// Copies a text from a zero-terminated buffer of `capacity` characters.
// Room for any path a slot may hand back: a local path may be as long as the system
// takes, and a slot answers 206 rather than cut one that does not fit.
constexpr size_t kReturnedPathChars = os::kMaxSystemPathChars + 1;

void takeBuffer(const std::u16string& buffer, std::u16string& out) {
  size_t n = 0;
  while (n < buffer.size() && buffer[n] != 0) ++n;
  out.assign(buffer.data(), n);
}

}  // namespace

FileSystemProvider& FileSystemProvider::operator=(const FileSystemProvider& other) noexcept {
  kind = other.kind;
  name = other.name;
  prefixLength = other.prefixLength;
  openCount.store(other.openCount.load());
  ops = other.ops;
  context = other.context;
  table = other.table;
  keepAlive = other.keepAlive;
  return *this;
}

ProviderTable::ProviderTable() noexcept {
  for (FileSystemProvider& slot : slots) slot.table = this;
}

ProviderTable::~ProviderTable() { unloadAll(); }

void ProviderTable::unloadAll() noexcept {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  for (FileSystemProvider& slot : slots) {
    if (slot.ops.unload == nullptr) continue;
    guarded<int>(0, [&] {
      slot.ops.unload(&slot);
      return 0;
    });
  }
}

void ProviderTable::initialize(std::u16string_view pluginRootName) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  // No system dialog may stop a slot initialiser (an empty drive, a missing module).
  const uint32_t previousMode = platform::setProcessErrorMode(1);
  unloadAll();  // a table filled before gives its plug-ins back first
  for (FileSystemProvider& slot : slots) slot = FileSystemProvider{};
  pluginRootName_.assign(pluginRootName.empty() ? std::u16string_view(u"\\\\\\") : pluginRootName);
  fillLocalProvider(slots[0]);
  fillPluginRoot(slots[1], pluginRootName_.c_str());
  for (FileSystemProvider& slot : slots) slot.table = this;
  (void)platform::setProcessErrorMode(previousMode);
}

ProviderCapabilities derivedCapabilities(const FileSystemProvider& slot) noexcept {
  const ProviderOperations& o = slot.ops;
  ProviderCapabilities bits = 0;
  if (o.makeFolder != nullptr) bits |= kCapMakeFolder;
  if (o.sendCommand != nullptr) bits |= kCapSendCommand;
  if (o.pluginEntry != nullptr) bits |= kCapPluginEntry;
  if (o.rename != nullptr) bits |= kCapRename;
  if (o.getFile != nullptr) bits |= kCapGetFile;
  if (o.putFile != nullptr) bits |= kCapPutFile;
  if (o.copy != nullptr) bits |= kCapCopy;
  if (o.deleteFile != nullptr) bits |= kCapDeleteFile;
  if (o.setAttributes != nullptr) bits |= kCapSetAttributes;
  if (o.setTimes != nullptr) bits |= kCapSetTimes;
  if (o.entryIcon != nullptr) bits |= kCapEntryIcons;
  return bits;
}

int32_t ProviderTable::lookupOnce(std::u16string_view path) {
  const std::u16string root = platform::rootOf(path);
  if (!root.empty()) {
    std::u16string slotRoot;
    for (int32_t i = 0; i < kProviderSlotCount; ++i) {
      FileSystemProvider& slot = slots[i];
      if (slot.kind == kProviderFree || slot.ops.rootName == nullptr) continue;
      if (callRootName(&slot, nullptr, slotRoot) != 0 || slotRoot.empty()) continue;
      if (platform::namesEqual(slotRoot, root)) return i;
    }
  }
  std::u16string_view rest = path;
  if (platform::leadingSeparators(rest) >= 3) rest.remove_prefix(3);
  size_t cut = 0;
  while (cut < rest.size() && !platform::isAnySeparator(rest[cut])) ++cut;
  rest = rest.substr(0, cut);
  for (int32_t i = 0; i < kProviderSlotCount; ++i) {
    const FileSystemProvider& slot = slots[i];
    if (slot.kind == kProviderFree || slot.name == nullptr) continue;
    if (platform::namesEqual(rest, slot.name)) return i;
  }
  return isLocalPath(path) ? 0 : -1;
}

int32_t ProviderTable::findSlot(std::u16string_view path) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const int32_t slot = lookupOnce(path);
  if (slot >= 0 || registration_.registerPlugins == nullptr) return slot;
  registerPlugins();
  return lookupOnce(path);
}

void ProviderTable::setPluginRegistration(const PluginRegistration& registration) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  registration_ = registration;
}

void ProviderTable::registerPlugins() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (registration_.registerPlugins == nullptr) return;
  try {
    registration_.registerPlugins(registration_.context, *this);
  } catch (...) {
    // A failed registration leaves the lookup to fail on its own.
  }
}

ScopedProviderHandle ProviderTable::open(std::u16string_view path, void* owner, ProviderKind kind) {
  // The slot cannot be cleared between its lookup and the count of the new handle.
  std::lock_guard<std::recursive_mutex> guard(lock_);
  int32_t index = -1;
  if (kind != kProviderFree) {
    for (int32_t i = 0; i < kProviderSlotCount; ++i) {
      if (slots[i].kind == kind) {
        index = i;
        break;
      }
    }
  } else {
    index = findSlot(path);
  }
  if (index < 0) return {};
  FileSystemProvider& slot = slots[index];
  if (slot.ops.open == nullptr) return {};
  std::u16string_view rest = path;
  if (slot.prefixLength > 3 && slot.name != nullptr && platform::leadingSeparators(rest) >= 3 &&
      rest.size() >= static_cast<size_t>(slot.prefixLength)) {
    const std::u16string_view name = rest.substr(3, slot.prefixLength - 3);
    if (platform::namesEqual(name, std::u16string_view(slot.name).substr(0, slot.prefixLength - 3))) {
      rest.remove_prefix(slot.prefixLength);
    }
  }
  const std::u16string text(rest);
  ProviderHandle* handle =
      guarded<ProviderHandle*>(nullptr, [&] { return slot.ops.open(&slot, owner, index, text.c_str()); });
  if (handle == nullptr) return {};
  handle->table = this;
  slot.openCount.fetch_add(1);
  handle->provider = slot;
  return ScopedProviderHandle(handle);
}

namespace {

// Whether `live` still holds what `copy` was taken from.
bool sameFilling(const FileSystemProvider& live, const FileSystemProvider& copy) noexcept {
  return live.kind == copy.kind && live.ops.open == copy.ops.open && live.context == copy.context &&
         live.keepAlive == copy.keepAlive;
}

void uncount(FileSystemProvider& live) noexcept {
  // Never below zero: a slot filled again meanwhile starts its count afresh.
  int32_t count = live.openCount.load();
  while (count > 0 && !live.openCount.compare_exchange_weak(count, count - 1)) {
  }
}

}  // namespace

void ProviderTable::uncountHandle(const ProviderHandle& handle) noexcept {
  if (handle.slotIndex < 0 || handle.slotIndex >= kProviderSlotCount) return;
  try {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    FileSystemProvider& live = slots[handle.slotIndex];
    if (sameFilling(live, handle.provider)) uncount(live);
  } catch (...) {
    // The lock failed: the count stays one high, which only keeps what it counts.
  }
}

void ProviderTable::moveHandle(ProviderHandle& handle, int32_t index) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (index < 0 || index >= kProviderSlotCount) return;
  uncountHandle(handle);
  slots[index].openCount.fetch_add(1);
  handle.slotIndex = index;
  handle.provider = slots[index];
}

ScopedProviderHandle& ScopedProviderHandle::operator=(ScopedProviderHandle&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void ScopedProviderHandle::reset() noexcept {
  ProviderHandle* handle = handle_;
  handle_ = nullptr;
  if (slotOf(handle) == nullptr) return;
  handle->table->uncountHandle(*handle);
  // The release entry frees the handle and the slot copy inside it: it is handed a copy
  // of its own, which also keeps the slot's plug-in until the entry has returned.
  guarded<int>(0, [&] {
    FileSystemProvider slot = handle->provider;
    if (slot.ops.release != nullptr) slot.ops.release(&slot, handle);
    return 0;
  });
}

FileSystemProvider* slotOf(const ProviderHandle* handle) noexcept {
  if (handle == nullptr || handle->table == nullptr || handle->slotIndex < 0 ||
      handle->slotIndex >= kProviderSlotCount) {
    return nullptr;
  }
  return const_cast<FileSystemProvider*>(&handle->provider);
}

ProviderCapabilities callCapabilities(FileSystemProvider* slot, ProviderHandle* h) noexcept {
  if (slot == nullptr || slot->ops.capabilities == nullptr) return 0;
  return guarded<ProviderCapabilities>(0, [&] { return slot->ops.capabilities(slot, h); });
}

ErrorCode callRootName(FileSystemProvider* slot, ProviderHandle* h, std::u16string& out) noexcept {
  out.clear();
  if (slot == nullptr || slot->ops.rootName == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    std::u16string buffer(kReturnedPathChars, u'\0');
    const ErrorCode r = normalised(slot->ops.rootName(slot, h, buffer.data(), kReturnedPathChars));
    if (r == 0) takeBuffer(buffer, out);
    return r;
  });
}

ErrorCode callTranslatePath(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                            std::u16string& out) noexcept {
  out.clear();
  if (slot == nullptr || slot->ops.translatePath == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    std::u16string buffer(kReturnedPathChars, u'\0');
    const ErrorCode r =
        normalised(slot->ops.translatePath(slot, h, text.c_str(), buffer.data(), kReturnedPathChars));
    if (r == 0) takeBuffer(buffer, out);
    return r;
  });
}

ErrorCode callEnumerate(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view folder,
                        EnumerateConsumer consumer, void* data) noexcept {
  if (slot == nullptr || slot->ops.enumerate == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(folder);
    return normalised(slot->ops.enumerate(slot, h, text.c_str(), consumer, data));
  });
}

uint32_t callGetAttributes(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                           EntryBlock* block) noexcept {
  if (slot == nullptr || slot->ops.getAttributes == nullptr) return 0xFFFFFFFFu;
  return guarded<uint32_t>(0xFFFFFFFFu, [&] {
    const std::u16string text(path);
    return slot->ops.getAttributes(slot, h, text.c_str(), block);
  });
}

ErrorCode callSetAttributes(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                            uint32_t attributes) noexcept {
  if (slot == nullptr || slot->ops.setAttributes == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.setAttributes(slot, h, text.c_str(), attributes));
  });
}

ErrorCode callSetTimes(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                       uint64_t creation, uint64_t lastAccess, uint64_t lastWrite) noexcept {
  if (slot == nullptr || slot->ops.setTimes == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.setTimes(slot, h, text.c_str(), creation, lastAccess, lastWrite));
  });
}

ErrorCode callRename(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view oldPath,
                     std::u16string_view newPath) noexcept {
  if (slot == nullptr || slot->ops.rename == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string a(oldPath), b(newPath);
    return normalised(slot->ops.rename(slot, h, a.c_str(), b.c_str()));
  });
}

ErrorCode callGetFile(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view source,
                      std::u16string_view localTarget, const EntryBlock* block, uint32_t flags,
                      ProgressCallback progress, void* data) noexcept {
  if (slot == nullptr || slot->ops.getFile == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string a(source), b(localTarget);
    return normalised(slot->ops.getFile(slot, h, a.c_str(), b.c_str(), block, flags, progress, data));
  });
}

ErrorCode callPutFile(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view localSource,
                      std::u16string_view target, const EntryBlock* block, uint32_t flags,
                      ProgressCallback progress, void* data) noexcept {
  if (slot == nullptr || slot->ops.putFile == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string a(localSource), b(target);
    return normalised(slot->ops.putFile(slot, h, a.c_str(), b.c_str(), block, flags, progress, data));
  });
}

ErrorCode callDeleteFile(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                         int32_t mode, ProgressCallback progress, void* data) noexcept {
  if (slot == nullptr || slot->ops.deleteFile == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.deleteFile(slot, h, text.c_str(), mode, progress, data));
  });
}

ErrorCode callRemoveFolder(FileSystemProvider* slot, ProviderHandle* h,
                           std::u16string_view path) noexcept {
  if (slot == nullptr || slot->ops.removeFolder == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.removeFolder(slot, h, text.c_str()));
  });
}

ErrorCode callMakeFolder(FileSystemProvider* slot, ProviderHandle* h,
                         std::u16string_view path) noexcept {
  if (slot == nullptr || slot->ops.makeFolder == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.makeFolder(slot, h, text.c_str()));
  });
}

int32_t callFinish(FileSystemProvider* slot, ProviderHandle* h, int32_t reserved, int32_t completed) noexcept {
  if (slot == nullptr || slot->ops.finish == nullptr) return 0;
  return guarded<int32_t>(0, [&] { return slot->ops.finish(slot, h, reserved, completed); });
}

}  // namespace crvl
